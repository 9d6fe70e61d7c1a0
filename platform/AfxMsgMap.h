// Message maps and command targets.
//
// An entry binds a window message (or, for WM_COMMAND, a command identifier)
// to a thunk that unpacks WPARAM/LPARAM and calls the handler. Entries are made
// by the builder templates below, which check the handler's signature when the
// map is compiled. A map names its base class's map, which is searched next.
#pragma once

#include "AfxGeometry.h"

#include <windows.h>

#include <span>
#include <type_traits>

class CWnd;
class CCmdTarget;

struct MsgMapEntry {
    UINT nMessage; // window message; WM_COMMAND for command entries
    UINT nID;      // command identifier (command entries only)
    LRESULT (*pfnThunk)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap* pBaseMap;
    std::span<const MsgMapEntry> entries;
};

namespace afx_detail {
template <class F> struct MemberOf;
template <class C, class R, class... A> struct MemberOf<R (C::*)(A...)> {
    using Class = C;
};
template <auto F> using ClassOf = typename MemberOf<decltype(F)>::Class;

template <auto F, class Sig> constexpr void RequireSignature()
{
    static_assert(std::is_same_v<decltype(F), Sig>, "message handler has the wrong signature");
}

CWnd* WndFromHandle(HWND hWnd);
} // namespace afx_detail

namespace msgmap {
// void OnXxx(UINT nFlags, CPoint point) for the mouse button and move messages.
template <UINT Msg, auto F> constexpr MsgMapEntry Mouse()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, void (C::*)(UINT, CPoint)>();
    return {Msg, 0, [](CCmdTarget* p, WPARAM w, LPARAM l) -> LRESULT {
                (static_cast<C*>(p)->*F)(UINT(w), CPoint(short(LOWORD(l)), short(HIWORD(l))));
                return 0;
            }};
}
template <auto F> constexpr MsgMapEntry OnLButtonDown() { return Mouse<WM_LBUTTONDOWN, F>(); }
template <auto F> constexpr MsgMapEntry OnLButtonUp() { return Mouse<WM_LBUTTONUP, F>(); }
template <auto F> constexpr MsgMapEntry OnRButtonDown() { return Mouse<WM_RBUTTONDOWN, F>(); }
template <auto F> constexpr MsgMapEntry OnMouseMove() { return Mouse<WM_MOUSEMOVE, F>(); }

// BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
template <auto F> constexpr MsgMapEntry OnSetCursor()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, BOOL (C::*)(CWnd*, UINT, UINT)>();
    return {WM_SETCURSOR, 0, [](CCmdTarget* p, WPARAM w, LPARAM l) -> LRESULT {
                return (static_cast<C*>(p)->*F)(afx_detail::WndFromHandle(HWND(w)), LOWORD(l),
                                                HIWORD(l));
            }};
}

// void OnCaptureChanged(CWnd* pWnd)
template <auto F> constexpr MsgMapEntry OnCaptureChanged()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, void (C::*)(CWnd*)>();
    return {WM_CAPTURECHANGED, 0, [](CCmdTarget* p, WPARAM, LPARAM l) -> LRESULT {
                (static_cast<C*>(p)->*F)(afx_detail::WndFromHandle(HWND(l)));
                return 0;
            }};
}

// void OnSysCommand(UINT nID, LPARAM lParam)
template <auto F> constexpr MsgMapEntry OnSysCommand()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, void (C::*)(UINT, LPARAM)>();
    return {WM_SYSCOMMAND, 0, [](CCmdTarget* p, WPARAM w, LPARAM l) -> LRESULT {
                (static_cast<C*>(p)->*F)(UINT(w), l);
                return 0;
            }};
}

// void OnPaint()
template <auto F> constexpr MsgMapEntry OnPaint()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, void (C::*)()>();
    return {WM_PAINT, 0, [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT {
                (static_cast<C*>(p)->*F)();
                return 0;
            }};
}

// HCURSOR OnQueryDragIcon()
template <auto F> constexpr MsgMapEntry OnQueryDragIcon()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, HCURSOR (C::*)()>();
    return {WM_QUERYDRAGICON, 0, [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT {
                return LRESULT((static_cast<C*>(p)->*F)());
            }};
}

// BOOL OnHelpInfo(HELPINFO* pInfo)
template <auto F> constexpr MsgMapEntry OnHelpInfo()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, BOOL (C::*)(HELPINFO*)>();
    return {WM_HELP, 0, [](CCmdTarget* p, WPARAM, LPARAM l) -> LRESULT {
                return (static_cast<C*>(p)->*F)(reinterpret_cast<HELPINFO*>(l));
            }};
}

// LRESULT OnXxx(WPARAM, LPARAM) for any message.
template <UINT Msg, auto F> constexpr MsgMapEntry OnMessage()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, LRESULT (C::*)(WPARAM, LPARAM)>();
    return {Msg, 0, [](CCmdTarget* p, WPARAM w, LPARAM l) -> LRESULT {
                return (static_cast<C*>(p)->*F)(w, l);
            }};
}

// void OnXxx() for WM_COMMAND with identifier Id.
template <UINT Id, auto F> constexpr MsgMapEntry OnCommand()
{
    using C = afx_detail::ClassOf<F>;
    afx_detail::RequireSignature<F, void (C::*)()>();
    return {WM_COMMAND, Id, [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT {
                (static_cast<C*>(p)->*F)();
                return 0;
            }};
}
} // namespace msgmap

// Base of everything that has a message map: windows and the application.
class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Runs the handler for command nID from this object's map chain (or,
    // with bQueryOnly, only tells whether one exists). Routing classes extend it.
    virtual bool OnCmdMsg(UINT nID, bool bQueryOnly = false);

protected:
    // The end of every chain: no entries.
    static const MessageMap messageMap;
    virtual const MessageMap* GetMessageMap() const { return &messageMap; }
    const MsgMapEntry* FindEntry(UINT nMessage, UINT nID) const;
};

// Declares the message map of a class, last in the class: members after it
// are protected. The class defines its entries and its map, which names the
// base class's map (a class with no entries of its own declares none):
//   const MsgMapEntry CMyWnd::messageEntries[] = {msgmap::OnPaint<&CMyWnd::OnPaint>()};
//   const MessageMap CMyWnd::messageMap = {&CWnd::messageMap, messageEntries};
#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const MsgMapEntry messageEntries[];                                                     \
    static const MessageMap messageMap;                                                            \
    const MessageMap* GetMessageMap() const override { return &messageMap; }
