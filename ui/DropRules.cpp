#include "DropRules.h"

namespace droprules {

HWND ClimbToTopLevel(HWND hWnd, HWND(WINAPI* getParent)(HWND))
{
    for (int step = 0; hWnd && step < kMaxClimb; ++step) {
        HWND hUp = getParent(hWnd);
        if (!hUp)
            return hWnd;
        hWnd = hUp;
    }
    return nullptr;
}

void BusyWaitTicks(DWORD ms, DWORD(WINAPI* getTick)())
{
    const DWORD start = getTick();
    while (!TicksElapsed(start, getTick(), ms)) {
    }
}

} // namespace droprules
