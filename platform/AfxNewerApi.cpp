#include "AfxNewerApi.h"

#include <dwmapi.h>

#include <cstring>

namespace {

// GetProcAddress's result as the function type it is (through void (*)(),
// which the compiler accepts as a cast from any function pointer).
template <typename Fn> Fn Lookup(HMODULE hModule, const char* pszName)
{
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(hModule ? ::GetProcAddress(hModule, pszName) : nullptr));
}

// dwmapi.dll from the system directory, never from the program's (a file of
// that name beside Tiermo.exe would run in its place), and only on Windows
// Vista and later, which have it: before, the attempt would only fail.
HMODULE LoadDwmApi()
{
    const DWORD dwVersion = ::GetVersion();
    if ((dwVersion & 0x80000000) || LOBYTE(LOWORD(dwVersion)) < 6)
        return nullptr;
    static const char kName[] = "\\dwmapi.dll";
    char szPath[MAX_PATH];
    const UINT nLength = ::GetSystemDirectoryA(szPath, MAX_PATH);
    if (nLength == 0 || nLength + sizeof(kName) > MAX_PATH)
        return nullptr;
    std::memcpy(szPath + nLength, kName, sizeof(kName));
    return ::LoadLibraryA(szPath);
}

// DWM's function, with dwmapi.dll loaded at the first call (a drop), not at
// start-up; E_NOTIMPL where there is none.
HRESULT WINAPI DwmGetWindowAttributeOnDemand(HWND hWnd, DWORD dwAttribute, PVOID pvValue,
                                             DWORD cbValue)
{
    using Fn = decltype(NewerUserApi::DwmGetWindowAttribute);
    static const Fn pfn = Lookup<Fn>(LoadDwmApi(), "DwmGetWindowAttribute");
    return pfn ? pfn(hWnd, dwAttribute, pvValue, cbValue) : E_NOTIMPL;
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
        found.DwmGetWindowAttribute = &DwmGetWindowAttributeOnDemand;
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

bool AfxIsWindowCloaked(HWND hWnd)
{
    // Systems before Windows 8 refuse the attribute: nothing is cloaked there.
    DWORD dwCloaked = 0;
    const NewerUserApi& api = NewerUser();
    return api.DwmGetWindowAttribute &&
           SUCCEEDED(
               api.DwmGetWindowAttribute(hWnd, DWMWA_CLOAKED, &dwCloaked, sizeof(dwCloaked))) &&
           dwCloaked != 0;
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
