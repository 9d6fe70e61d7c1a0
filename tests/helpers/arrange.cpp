// Run helper: waits for a main window and places another one beside it.
//
//   tiermo_arrange.exe MAIN_CAPTION OTHER_CAPTION_PART TIMEOUT_MS [CONTROL_ID...]
//
// Prints both windows' rectangles, then the screen centre of each named
// control of the main window ("control ID: X,Y"). Exit code 0 when both were
// found and placed, 1 when the main window did not appear in time, 2 on bad
// arguments, 3 when only the other window is missing, 4 when the windows are
// not where they were put within the time.
//
// Where a window manager frames the windows (Wine without its virtual
// desktop), Wine's view of a window that was just put somewhere can still
// change: it takes the window's place from the window manager's notices, and
// one handled before the window manager has moved the frame gives the old
// place. Measured under xfwm4 on a busy machine: Tiermo's window was at the
// new place 28 ms after the move, at the old one again at 76 ms and back at
// 82 ms; a control read then was 383 px off. So what is printed is computed
// from where the program put the windows and from where each control lies
// within its window, which no move changes, never read from the screen.
#include "Driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kGap = 8;
constexpr int kMinWidth = 200;

void PrintRect(const char* what, const RECT& r)
{
    printf("%s: %ld,%ld %ldx%ld\n", what, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The screen centre of control `id` of `main` when main's window rectangle is
// `placed`: from the control's place in main's client area and the client
// area's place in the window, both of which moves leave alone.
bool ControlCentre(HWND main, int id, const RECT& placed, POINT* centre)
{
    HWND control = driver::ChildAtId(main, id);
    WINDOWINFO info{};
    info.cbSize = sizeof info;
    RECT r;
    if (control == nullptr || !GetWindowInfo(main, &info) || !GetClientRect(control, &r)) {
        return false;
    }
    MapWindowPoints(control, main, reinterpret_cast<POINT*>(&r), 2);
    const POINT inClient = driver::Center(r);
    centre->x = placed.left + (info.rcClient.left - info.rcWindow.left) + inClient.x;
    centre->y = placed.top + (info.rcClient.top - info.rcWindow.top) + inClient.y;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || std::atoi(argv[3]) <= 0) {
        fprintf(
            stderr,
            "usage: tiermo_arrange MAIN_CAPTION OTHER_CAPTION_PART TIMEOUT_MS [CONTROL_ID...]\n");
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
        PrintRect(argv[1], driver::WindowRect(main));
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
    const RECT mainPlaced{kGap, m.top, kGap + mainWidth, m.bottom};
    const RECT otherPlaced{x, m.top, x + width, m.top + height};
    constexpr UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
    SetWindowPos(main, nullptr, mainPlaced.left, mainPlaced.top, 0, 0, flags | SWP_NOSIZE);
    SetWindowPos(other, nullptr, otherPlaced.left, otherPlaced.top, width, height, flags);
    if (!driver::WaitUntil(
            [&] {
                return SameRect(driver::WindowRect(main), mainPlaced) &&
                       SameRect(driver::WindowRect(other), otherPlaced);
            },
            timeoutMs)) {
        fprintf(stderr, "the windows are not where they were put within %d ms\n", timeoutMs);
        return 4;
    }
    PrintRect(argv[1], mainPlaced);
    PrintRect(argv[2], otherPlaced);
    for (int i = 4; i < argc; ++i) {
        POINT c{};
        if (!ControlCentre(main, std::atoi(argv[i]), mainPlaced, &c)) {
            fprintf(stderr, "no control %s in \"%s\"\n", argv[i], argv[1]);
            return 2;
        }
        printf("control %s: %ld,%ld\n", argv[i], c.x, c.y);
    }
    return 0;
}
