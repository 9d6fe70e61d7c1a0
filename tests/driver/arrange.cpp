// Run helper: waits for a main window and places another one beside it.
//
//   tiermo_arrange.exe MAIN_CAPTION OTHER_CAPTION_PART TIMEOUT_MS [CONTROL_ID...]
//
// Prints both windows' rectangles, then the screen centre of each named
// control of the main window ("control ID: X,Y"). Exit code 0 when both were found and placed, 1 when the main window did not
// appear in time, 2 on bad arguments, 3 when only the other window is missing.
#include "Driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kGap = 8;
constexpr int kMinWidth = 200;

void PrintRect(const char* what, HWND hwnd)
{
    const RECT r = driver::WindowRect(hwnd);
    printf("%s: %ld,%ld %ldx%ld\n", what, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || std::atoi(argv[3]) <= 0) {
        fprintf(stderr, "usage: tiermo_arrange MAIN_CAPTION OTHER_CAPTION_PART TIMEOUT_MS [CONTROL_ID...]\n");
        return 2;
    }
    const int timeoutMs = std::atoi(argv[3]);
    HWND main = driver::WaitForWindow(argv[1], nullptr, 0, timeoutMs);
    if (main == nullptr) {
        fprintf(stderr, "no window \"%s\" within %d ms\n", argv[1], timeoutMs);
        return 1;
    }
    HWND other = driver::WaitForWindowContaining(argv[2], nullptr, 0, timeoutMs);
    if (other == nullptr) {
        PrintRect(argv[1], main);
        fprintf(stderr, "no window containing \"%s\" within %d ms\n", argv[2], timeoutMs);
        return 3;
    }
    // The main window to the left edge, the other one beside it, narrowed to fit.
    const RECT m = driver::WindowRect(main);
    const RECT o = driver::WindowRect(other);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int mainWidth = m.right - m.left;
    const int x = kGap + mainWidth + kGap;
    const int width = std::max(kMinWidth, std::min<int>(o.right - o.left, screenWidth - x - kGap));
    const int height = std::min<int>(o.bottom - o.top, screenHeight - m.top - kGap);
    constexpr UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
    SetWindowPos(main, nullptr, kGap, m.top, 0, 0, flags | SWP_NOSIZE);
    SetWindowPos(other, nullptr, x, m.top, width, height, flags);
    driver::WaitUntil(
        [&] {
            return driver::WindowRect(main).left == kGap && driver::WindowRect(other).left == x;
        },
        2000);
    PrintRect(argv[1], main);
    PrintRect(argv[2], other);
    for (int i = 4; i < argc; ++i) {
        const POINT c = driver::Center(driver::ControlRect(main, std::atoi(argv[i])));
        printf("control %s: %ld,%ld\n", argv[i], c.x, c.y);
    }
    return 0;
}
