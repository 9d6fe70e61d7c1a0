// Takes the pictures of the user's README from the running program: the main
// dialog, the About box and the Help window, each as a BMP of its window
// rectangle (scripts/screenshots.sh turns them into PNG files).
//
//   tiermo_shot OUTDIR TIERMO.EXE
#include "Driver.h"
#include "captions.h"
#include "product.h"
#include "resource.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using bench::kAboutCaption;
using bench::kHelpCaption;
using bench::kTiermoCaption;
constexpr int kWindowTimeoutMs = 20000;
// A new window has painted itself once two captures this far apart are the
// same; it gets at most kPaintTimeoutMs.
constexpr int kPaintCheckMs = 200;
constexpr DWORD kPaintTimeoutMs = 5000;

// The pixels of the window's rectangle once they have stopped changing.
std::vector<COLORREF> Painted(const RECT& rect)
{
    const DWORD start = GetTickCount();
    std::vector<COLORREF> pixels = driver::CaptureRect(rect);
    for (;;) {
        driver::Pause(kPaintCheckMs);
        std::vector<COLORREF> again = driver::CaptureRect(rect);
        if (driver::SamePixels(pixels, again) || GetTickCount() - start > kPaintTimeoutMs)
            return again;
        pixels = std::move(again);
    }
}

bool Save(HWND hwnd, const std::string& outDir, const char* name)
{
    const RECT rect = driver::WindowRect(hwnd);
    const std::vector<COLORREF> pixels = Painted(rect);
    const std::string path = outDir + "\\" + name + ".bmp";
    if (pixels.empty() ||
        !driver::SaveBmp(path, pixels, rect.right - rect.left, rect.bottom - rect.top)) {
        std::fprintf(stderr, "cannot save %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

// Opens a box with a command of the main dialog, saves its picture, closes it.
bool ShootBox(HWND dialog, DWORD pid, WPARAM command, const char* caption,
              const std::string& outDir, const char* name)
{
    PostMessageA(dialog, WM_COMMAND, command, 0);
    HWND box = driver::WaitForWindow(caption, nullptr, pid, kWindowTimeoutMs);
    if (!box) {
        std::fprintf(stderr, "the window \"%s\" did not open\n", caption);
        return false;
    }
    const bool saved = Save(box, outDir, name);
    driver::PostClose(box);
    return driver::WaitForWindowGone(box) && saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tiermo_shot OUTDIR TIERMO.EXE\n");
        return 2;
    }
    const std::string outDir = driver::FromUnixPath(argv[1]);
    // A version already run, so that the About box does not open by itself.
    driver::WriteDword(HKEY_LOCAL_MACHINE, TIERMO_VERSION_KEY, TIERMO_VERSION_ENTRY,
                       TIERMO_VERSION);

    driver::Process tiermo;
    if (!tiermo.Launch(argv[2])) {
        std::fprintf(stderr, "cannot start %s\n", argv[2]);
        return 1;
    }
    HWND dialog = driver::WaitForWindow(kTiermoCaption, nullptr, tiermo.Pid(), kWindowTimeoutMs);
    if (!dialog) {
        std::fprintf(stderr, "the main dialog did not open\n");
        return 1;
    }
    // Keep the pointer out of the pictures.
    driver::MoveTo(0, 0);
    driver::Activate(dialog);
    bool ok = Save(dialog, outDir, "main");
    ok = ShootBox(dialog, tiermo.Pid(), IDC_CMD_APP_ABOUT, kAboutCaption, outDir, "about") && ok;
    ok = ShootBox(dialog, tiermo.Pid(), IDC_CMD_HELP, kHelpCaption, outDir, "help") && ok;
    driver::PostClose(dialog);
    if (!tiermo.WaitForExit(5000))
        tiermo.Terminate();
    return ok ? 0 : 1;
}
