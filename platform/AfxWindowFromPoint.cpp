#include "AfxWindowFromPoint.h"

#include "AfxNewerApi.h"

namespace {

ScopedSystemWindowFromPoint::Fn s_pfnSystemWindowFromPoint = &::WindowFromPoint;

bool RectHolds(const RECT& rc, POINT pt)
{
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

// Whether the system's search stops at hWnd for pt: it is visible, not a
// disabled child, and pt lies in its window rectangle and, where it has one,
// its window region. Layered windows are passed over: clicks go through them
// where they are transparent, which the system knows from their pixels and
// this search cannot, so they might be found where the system found nothing.
bool IsHitAt(HWND hWnd, POINT pt)
{
    const LONG style = ::GetWindowLongA(hWnd, GWL_STYLE);
    RECT rc;
    if (!(style & WS_VISIBLE) ||
        (style & (WS_CHILD | WS_POPUP | WS_DISABLED)) == (WS_CHILD | WS_DISABLED) ||
        (::GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_LAYERED) || !::GetWindowRect(hWnd, &rc) ||
        !RectHolds(rc, pt))
        return false;
    HRGN hRegion = ::CreateRectRgn(0, 0, 0, 0);
    if (!hRegion)
        return true;
    bool bInRegion = true;
    if (::GetWindowRgn(hWnd, hRegion) != ERROR) {
        const RECT pixel = {pt.x - rc.left, pt.y - rc.top, pt.x - rc.left + 1, pt.y - rc.top + 1};
        bInRegion = ::RectInRegion(hRegion, &pixel) != FALSE;
    }
    ::DeleteObject(hRegion);
    return bInRegion;
}

// The first window at pt in Z-order, from hWnd on through its next siblings.
HWND FirstHitFrom(HWND hWnd, POINT pt)
{
    while (hWnd && !IsHitAt(hWnd, pt))
        hWnd = ::GetWindow(hWnd, GW_HWNDNEXT);
    return hWnd;
}

// The same among the top-level windows, from the highest down to hStop (not
// included; null for all of them). A cloaked window is no more on the screen
// than a hidden one, although it keeps WS_VISIBLE and its place (Raymond
// Chen, "How can I detect that my window has been suppressed from the screen
// by the shell?", The Old New Thing, 2 March 2020).
HWND FirstTopLevelHitAbove(HWND hStop, POINT pt)
{
    for (HWND hWnd = ::GetWindow(::GetDesktopWindow(), GW_CHILD); hWnd && hWnd != hStop;
         hWnd = ::GetWindow(hWnd, GW_HWNDNEXT)) {
        if (IsHitAt(hWnd, pt) && !AfxIsWindowCloaked(hWnd))
            return hWnd;
    }
    return nullptr;
}

} // namespace

HWND AfxWindowFromPoint(POINT pt)
{
    const HWND hSystem = s_pfnSystemWindowFromPoint(pt);
    HWND hAnswerTop = nullptr; // the desktop's: every top-level window is above it
    if (hSystem != ::GetDesktopWindow()) {
        hAnswerTop = AfxGetRootWindow(hSystem);
        if (!hAnswerTop)
            return hSystem;
    }
    HWND hWnd = FirstTopLevelHitAbove(hAnswerTop, pt);
    if (!hWnd)
        return hSystem;
    // Down through the children as the system goes: not into a minimised or
    // disabled window, nor where the point is outside the client area.
    for (;;) {
        RECT rcClient;
        POINT origin = {0, 0};
        if (::IsIconic(hWnd) || (::GetWindowLongA(hWnd, GWL_STYLE) & WS_DISABLED) ||
            !::GetClientRect(hWnd, &rcClient) || !::ClientToScreen(hWnd, &origin))
            return hWnd;
        const POINT inClient = {pt.x - origin.x, pt.y - origin.y};
        HWND hChild =
            RectHolds(rcClient, inClient) ? FirstHitFrom(::GetWindow(hWnd, GW_CHILD), pt) : nullptr;
        if (!hChild)
            return hWnd;
        hWnd = hChild;
    }
}

ScopedSystemWindowFromPoint::ScopedSystemWindowFromPoint(Fn pfn)
    : ScopedSeam(s_pfnSystemWindowFromPoint, pfn)
{
}
