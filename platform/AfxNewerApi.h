// The few functions of the framework layer that Windows 95 and NT 4.0 lack:
// of USER32, and DWM's window attributes. They are looked up at run time,
// once, so that the program loads on those systems, and each use has a
// fallback that gives what those systems gave. Tests may put another table in
// place, as for the registry.
#pragma once

#include "AfxSeam.h"

#include <windows.h>

struct NewerUserApi {
    HWND(WINAPI* GetAncestor)(HWND, UINT);                  // Windows 98, 2000
    HMONITOR(WINAPI* MonitorFromWindow)(HWND, DWORD);       // Windows 98, 2000
    BOOL(WINAPI* GetMonitorInfoA)(HMONITOR, LPMONITORINFO); // Windows 98, 2000
    // dwmapi.dll, Windows Vista: never null; the DLL is loaded at the first
    // call (a drop), not at start-up, and without it the call fails.
    HRESULT(WINAPI* DwmGetWindowAttribute)(HWND, DWORD, PVOID, DWORD);
};

// The table in use: the functions this system has (null where it lacks one),
// unless a test has swapped it.
const NewerUserApi& NewerUser();

// Puts `api` in place for the lifetime of the object.
class ScopedNewerUserApi : public ScopedSeam<const NewerUserApi*> {
public:
    explicit ScopedNewerUserApi(const NewerUserApi& api);
};

// The top-level window that hWnd is part of (itself when it is one), or null
// for a handle that names no window.
HWND AfxGetRootWindow(HWND hWnd);

// Whether the shell keeps hWnd off the screen although it is visible by every
// other test: "cloaked" (Windows 8 on), as a window on another virtual desktop
// or a suspended app is. False where the system cloaks nothing.
bool AfxIsWindowCloaked(HWND hWnd);

// The work area of the monitor nearest hWnd; the primary monitor's where the
// system knows of no other.
RECT AfxGetWorkArea(HWND hWnd);
