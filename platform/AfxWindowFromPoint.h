// The window at a screen point, as a drop finds it.
#pragma once

#include "AfxSeam.h"

#include <windows.h>

// The deepest visible window at a screen point, or null. The system's
// WindowFromPoint, except where a window manager draws the windows' frames
// (Wine without its virtual desktop): the system tests a point only against
// the part of each window that Wine draws, so on a title bar or border it
// answers the window beneath, or the desktop window. So the top-level windows
// above the answer's top-level window (all of them where the answer is the
// desktop window) are searched in Z-order by the rules the system's call
// follows (hidden, cloaked and layered windows passed over); the first that
// holds the point, or its deepest child there, is the answer. On Windows the
// system's answer is already the uppermost window at the point, so the result
// there is the system's answer. The search walks no more than the top-level
// windows above the answer.
HWND AfxWindowFromPoint(POINT pt);

// Puts `pfn` in the place of the system's WindowFromPoint, which
// AfxWindowFromPoint asks first, for the lifetime of the object (tests).
class ScopedSystemWindowFromPoint : public ScopedSeam<HWND(WINAPI*)(POINT)> {
public:
    using Fn = HWND(WINAPI*)(POINT);
    explicit ScopedSystemWindowFromPoint(Fn pfn);
};
