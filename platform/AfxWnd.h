// Window objects, message maps and command routing.
//
// Every window the program creates or attaches is subclassed with one window
// procedure (AfxWndProc) that finds its CWnd through one HWND-to-object map.
// The object is attached from a CBT hook before the window gets its first
// message, and detached at WM_NCDESTROY.
#pragma once

#include "AfxException.h"
#include "AfxSeam.h"
#include "AfxString.h"

#include <windows.h>

#include <span>
#include <type_traits>

// Identifiers the framework gives meaning to.
inline constexpr UINT ID_HELP = 0xE146;           // 57670
inline constexpr UINT ID_APP_ABOUT = 0xE140;      // 57664
inline constexpr UINT AFX_IDS_APP_TITLE = 0xE000; // 57344: the application name

class CWnd;

struct CPoint : POINT {
    CPoint() : POINT{0, 0} {}
    CPoint(LONG x0, LONG y0) : POINT{x0, y0} {}
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
};

struct CRect : RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// ---------------------------------------------------------------------------
// Message maps
//
// An entry binds a window message (or, for WM_COMMAND, a command identifier)
// to a thunk that unpacks WPARAM/LPARAM and calls the handler. Entries are made
// by the builder templates below, which check the handler's signature when the
// map is compiled. A map names its base class's map, which is searched next.

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

    static const MessageMap messageMap;

protected:
    virtual const MessageMap* GetMessageMap() const { return &messageMap; }
    const MsgMapEntry* FindEntry(UINT nMessage, UINT nID) const;
};

// ---------------------------------------------------------------------------
class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }

    // The permanent object of hWnd, else a temporary wrapper that lives until
    // the modal loop next goes idle. Null for a null handle.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    static void DeleteTempMap();

    // Subclasses an existing window so that its messages reach this object.
    bool SubclassWindow(HWND hWnd);
    bool SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();
    bool DestroyWindow();

    void SetWindowText(const char* psz) { ::SetWindowTextA(m_hWnd, psz); }
    void GetWindowText(CString& str) const;
    CWnd* GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const
    {
        return ::SendMessageA(m_hWnd, msg, w, l);
    }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const
    {
        return ::PostMessageA(m_hWnd, msg, w, l);
    }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* pRect) const { ::GetClientRect(m_hWnd, pRect); }
    void ClientToScreen(POINT* pPoint) const { ::ClientToScreen(m_hWnd, pPoint); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    void CenterWindow();

    // Z-order placement objects: their handles are the special insert-after
    // values of SetWindowPos.
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

    // Default processing of the message being handled now.
    LRESULT Default();

    static const MessageMap messageMap;

protected:
    // A placement object: a constant handle that is no window of ours.
    explicit CWnd(HWND hWndConstant) : m_hWnd(hWndConstant), m_bPlacement(true) {}

    const MessageMap* GetMessageMap() const override { return &messageMap; }

    BOOL OnHelpInfo(HELPINFO* pInfo);

    // Makes this object the one attached to the next window created on this
    // thread (used around CreateWindow/CreateDialog calls).
    void HookWindowCreate();
    static void UnhookWindowCreate();

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK AfxCbtProc(int, WPARAM, LPARAM);
    void Attach(HWND hWnd);
    void Detach();
    LRESULT DispatchGuarded(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCommand(WPARAM wParam, LPARAM lParam);

    static const MsgMapEntry messageEntries[];
    WNDPROC m_pfnSuper = nullptr;
    bool m_bTemporary = false;
    // Placement objects are destroyed at exit after the handle map: they
    // must never consult it.
    bool m_bPlacement = false;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Top-left corner that centres a window of size `window` over `over`, then
// moved as little as needed to keep it inside `limit` (the work area).
CPoint AfxCenterPosition(const CRect& window, const CRect& over, const CRect& limit);

// The deepest visible window at a screen point, or null. The system's
// WindowFromPoint, except where it answers the desktop window: where a window
// manager draws a window's frame (Wine without its virtual desktop), the
// system answers the desktop although the point is inside the window's
// rectangle. There the top-level windows are searched in Z-order by the rules
// the system's call follows (layered windows passed over), and from the one
// found its children at the point.
HWND AfxWindowFromPoint(POINT pt);

// Puts `pfn` in the place of the system's WindowFromPoint, which
// AfxWindowFromPoint asks first, for the lifetime of the object (tests).
class ScopedSystemWindowFromPoint : public ScopedSeam<HWND(WINAPI*)(POINT)> {
public:
    using Fn = HWND(WINAPI*)(POINT);
    explicit ScopedSystemWindowFromPoint(Fn pfn);
};

// Reports an exception that reached a window procedure: its text in a
// system-modal box captioned with the application name.
void AfxReportException(const CException* e);

// Static control.
class CStatic : public CWnd {};

class CEdit : public CWnd {};

// A GDI font owned by the object and deleted with it.
class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    BOOL CreateFontIndirect(const LOGFONTA* pLogFont);
    BOOL DeleteObject();
    HFONT GetSafeHandle() const { return m_hFont; }

private:
    HFONT m_hFont = nullptr;
};

// BeginPaint/EndPaint for the lifetime of the object.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC m_hDC;
    PAINTSTRUCT m_ps;
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

private:
    HWND m_hWnd;
};
