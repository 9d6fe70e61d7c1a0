// The pure rules behind a drop, kept apart from the window classes so that
// tests can call them directly.
#pragma once

#include <windows.h>

namespace droprules {

// Parents and owners are followed at most this many steps: a chain that loops
// back on itself has no top-level window.
inline constexpr int kMaxClimb = 1024;

// Follows getParent from hWnd to the last window that has none. Null when
// hWnd is null or the chain does not end within kMaxClimb steps.
HWND ClimbToTopLevel(HWND hWnd, HWND(WINAPI* getParent)(HWND));

// A drop on a child of the dragging icon's own dialog is ignored.
inline bool IsOwnDialogControl(HWND hHitParent, HWND hOwnDialog)
{
    return hHitParent != nullptr && hHitParent == hOwnDialog;
}

// True once `ms` milliseconds have passed since `start`, also across the
// wrap of the 32-bit tick count.
inline bool TicksElapsed(DWORD start, DWORD now, DWORD ms) { return DWORD(now - start) >= ms; }

// Busy-waits `ms` milliseconds on the tick count, processing no messages.
void BusyWaitTicks(DWORD ms, DWORD(WINAPI* getTick)());

// The flags of the Z-order change: only the order changes. A target whose
// application does not answer gets the request asynchronously, so that the
// caller is not blocked until that application recovers.
inline UINT ZOrderFlags(bool bTargetAnswers)
{
    constexpr UINT kOrderOnly = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE; // 0x13
    return bTargetAnswers ? kOrderOnly : kOrderOnly | SWP_ASYNCWINDOWPOS;
}

// How long a target may take to answer before it counts as not responding.
inline constexpr UINT kAnswerTimeoutMs = 250;

// Flash timing: two passes, each after this wait.
inline constexpr DWORD kFlashWaitMs = 50;

} // namespace droprules
