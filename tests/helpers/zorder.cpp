// Run helper: the order of the windows as Windows (or Wine) itself keeps it,
// whatever the window manager of a Linux desktop shows.
//
//   tiermo_zorder.exe
//
// Prints the caption of every visible top-level window that has one, the
// highest first, with " (topmost)" after the topmost ones.
#include <windows.h>

#include <cstdio>

int main()
{
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
        char caption[256];
        if (!IsWindowVisible(h) || GetWindowTextA(h, caption, sizeof caption) <= 0)
            continue;
        const bool topmost = (GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        printf("%s%s\n", caption, topmost ? " (topmost)" : "");
    }
    return 0;
}
