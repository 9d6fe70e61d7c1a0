#include "AfxNewerApi.h"

namespace {

// GetProcAddress's result as the function type it is (through void (*)(),
// which the compiler accepts as a cast from any function pointer).
template <typename Fn> Fn Lookup(HMODULE hModule, const char* pszName)
{
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(hModule ? ::GetProcAddress(hModule, pszName) : nullptr));
}

const NewerUserApi& SystemApi()
{
    static const NewerUserApi api = [] {
        HMODULE hUser = ::GetModuleHandleA("USER32.DLL");
        NewerUserApi found;
        found.GetAncestor = Lookup<decltype(found.GetAncestor)>(hUser, "GetAncestor");
        found.MonitorFromWindow =
            Lookup<decltype(found.MonitorFromWindow)>(hUser, "MonitorFromWindow");
        found.GetMonitorInfoA = Lookup<decltype(found.GetMonitorInfoA)>(hUser, "GetMonitorInfoA");
        return found;
    }();
    return api;
}

const NewerUserApi* s_pOverride = nullptr;

} // namespace

const NewerUserApi& NewerUser() { return s_pOverride ? *s_pOverride : SystemApi(); }

ScopedNewerUserApi::ScopedNewerUserApi(const NewerUserApi& api) : ScopedSeam(s_pOverride, &api) {}

HWND AfxGetRootWindow(HWND hWnd)
{
    if (NewerUser().GetAncestor)
        return NewerUser().GetAncestor(hWnd, GA_ROOT);
    // Climb while the window is a child: a pop-up's GetParent is its owner,
    // which is not part of it.
    if (!::IsWindow(hWnd))
        return nullptr;
    HWND hDesktop = ::GetDesktopWindow();
    while (::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) {
        HWND hParent = ::GetParent(hWnd);
        if (!hParent || hParent == hDesktop)
            break;
        hWnd = hParent;
    }
    return hWnd;
}

RECT AfxGetWorkArea(HWND hWnd)
{
    RECT rcArea = {};
    const NewerUserApi& api = NewerUser();
    if (api.MonitorFromWindow && api.GetMonitorInfoA) {
        MONITORINFO mi = {};
        mi.cbSize = sizeof(mi);
        HMONITOR hMonitor = api.MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST);
        if (hMonitor && api.GetMonitorInfoA(hMonitor, &mi))
            return mi.rcWork;
    }
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    return rcArea;
}
