// Program the rig's self-test runs under the wrapper.
//   exit N | sleep MS | screen | regset | regcheck | env NAME | brokenonce MARKER [AFTER_MS]
#include "Driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kProbeKey = "Software\\Kevra\\TiermoRigProbe";
constexpr const char* kProbeValue = "Mark";
constexpr int kUsageError = 2;
constexpr int kValueLeftOver = 10;

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: tiermo_rig_probe exit N|sleep MS|screen|regset|regcheck|env NAME|"
                        "brokenonce MARKER [AFTER_MS]\n");
        return kUsageError;
    }
    const std::string command = argv[1];
    if (command == "exit" && argc == 3) {
        return std::atoi(argv[2]);
    }
    if (command == "sleep" && argc == 3) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    if (command == "screen") {
        printf("screen %dx%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        return 0;
    }
    if (command == "regset") {
        return driver::WriteDword(HKEY_CURRENT_USER, kProbeKey, kProbeValue, 1) ? 0 : 1;
    }
    if (command == "regcheck") {
        return driver::KeyExists(HKEY_CURRENT_USER, kProbeKey) ? kValueLeftOver : 0;
    }
    if (command == "env" && argc == 3) {
        printf("%s=%s\n", argv[2], driver::Env(argv[2], "<unset>").c_str());
        return 0;
    }
    // Unless the file MARKER exists (it makes it): writes, AFTER_MS into the
    // run (0 by default), the error Wine writes when it gave the process no
    // display driver, and fails as such a process does. Wine writes it in the
    // session's set-up, before the program runs; this program's own is later.
    if (command == "brokenonce" && (argc == 3 || argc == 4)) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES)
            return 0;
        FILE* marker = fopen(argv[2], "w");
        if (!marker)
            return kUsageError;
        fclose(marker);
        if (argc == 4)
            Sleep(static_cast<DWORD>(std::atoi(argv[3])));
        fprintf(stderr, "0024:err:winediag:nodrv_CreateWindow Application tried to create a "
                        "window, but no driver could be loaded.\n");
        return 1;
    }
    return kUsageError;
}
