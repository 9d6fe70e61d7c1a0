// Window objects and the one window procedure that dispatches their messages.
//
// Every window the program creates or attaches is subclassed with one window
// procedure (AfxWndProc) that finds its CWnd through one HWND-to-object map.
// The object is attached from a CBT hook before the window gets its first
// message, and detached at WM_NCDESTROY.
#pragma once

#include "AfxException.h"
#include "AfxMsgMap.h"
#include "AfxString.h"

#include <windows.h>

// Identifiers the framework gives meaning to.
inline constexpr UINT ID_HELP = 0xE146;           // 57670
inline constexpr UINT ID_APP_ABOUT = 0xE140;      // 57664
inline constexpr UINT AFX_IDS_APP_TITLE = 0xE000; // 57344: the application name

// Copies the text of window hWnd into str.
void AfxGetWindowText(HWND hWnd, CString& str);

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
    void GetWindowText(CString& str) const { AfxGetWindowText(m_hWnd, str); }
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

protected:
    // A placement object: a constant handle that is no window of ours.
    explicit CWnd(HWND hWndConstant) : m_hWnd(hWndConstant), m_bPlacement(true) {}

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

    WNDPROC m_pfnSuper = nullptr;
    bool m_bTemporary = false;
    // Placement objects are destroyed at exit after the handle map: they
    // must never consult it.
    bool m_bPlacement = false;

    DECLARE_MESSAGE_MAP()
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Reports an exception that reached a window procedure: its text in a
// system-modal box captioned with the application name.
void AfxReportException(const CException* e);

// Static control.
class CStatic : public CWnd {};

class CEdit : public CWnd {};
