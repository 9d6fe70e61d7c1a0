#include "AfxWnd.h"

#include "AfxApp.h"
#include "AfxNewerApi.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

// Windows of this program number a few dozen at most: a vector searched
// linearly is smaller than a hash table and as fast here.
template <class V> class HandleMap {
public:
    V* Find(HWND hWnd)
    {
        for (auto& entry : m_entries)
            if (entry.first == hWnd)
                return &entry.second;
        return nullptr;
    }
    V& operator[](HWND hWnd)
    {
        if (V* p = Find(hWnd))
            return *p;
        m_entries.emplace_back(hWnd, V{});
        return m_entries.back().second;
    }
    void Erase(HWND hWnd)
    {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
            if (it->first == hWnd) {
                m_entries.erase(it);
                return;
            }
    }
    std::vector<std::pair<HWND, V>>& Entries() { return m_entries; }

private:
    std::vector<std::pair<HWND, V>> m_entries;
};

// The one HWND-to-object map of this (single) user-interface thread.
HandleMap<CWnd*>& PermanentMap()
{
    static HandleMap<CWnd*> s_map;
    return s_map;
}

// Wrappers made for foreign windows; freed when the modal loop goes idle.
HandleMap<std::unique_ptr<CWnd>>& TemporaryMap()
{
    static HandleMap<std::unique_ptr<CWnd>> s_map;
    return s_map;
}

// The message being handled, for CWnd::Default.
struct CurrentMessage {
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
CurrentMessage g_current = {};

CWnd* g_pWndInit = nullptr; // object waiting for the next window created
HHOOK g_hHookCbt = nullptr;

class CTempWnd : public CWnd {};

} // namespace

const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

const MsgMapEntry CWnd::messageEntries[] = {
    msgmap::OnHelpInfo<&CWnd::OnHelpInfo>(),
};
const MessageMap CWnd::messageMap = {&CCmdTarget::messageMap, messageEntries};

CWnd* afx_detail::WndFromHandle(HWND hWnd) { return CWnd::FromHandle(hWnd); }

CWnd::~CWnd()
{
    // A placement object or a detached wrapper owns no window.
    if (m_hWnd && !m_bTemporary && !m_bPlacement && FromHandlePermanent(m_hWnd) == this)
        ::DestroyWindow(m_hWnd);
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    CWnd** pp = PermanentMap().Find(hWnd);
    return pp ? *pp : nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd))
        return p;
    auto& temps = TemporaryMap();
    if (auto* pp = temps.Find(hWnd)) {
        // Parked while a permanent object had the window: aim it again.
        (*pp)->m_hWnd = hWnd;
        return pp->get();
    }
    auto p = std::make_unique<CTempWnd>();
    p->m_hWnd = hWnd;
    p->m_bTemporary = true;
    CWnd* pRaw = p.get();
    temps[hWnd] = std::move(p);
    return pRaw;
}

void CWnd::DeleteTempMap()
{
    for (auto& [h, p] : TemporaryMap().Entries())
        p->m_hWnd = nullptr;
    TemporaryMap().Entries().clear();
}

void CWnd::Attach(HWND hWnd)
{
    // The map entry first: when it cannot be made, nothing has changed.
    PermanentMap()[hWnd] = this;
    m_hWnd = hWnd;
    // A temporary wrapper made earlier for this handle must not outlive it.
    if (auto* pp = TemporaryMap().Find(hWnd))
        (*pp)->m_hWnd = nullptr;
}

void CWnd::Detach()
{
    if (m_hWnd) {
        CWnd** pp = PermanentMap().Find(m_hWnd);
        if (pp && *pp == this)
            PermanentMap().Erase(m_hWnd);
    }
    m_hWnd = nullptr;
}

bool CWnd::SubclassWindow(HWND hWnd)
{
    if (!::IsWindow(hWnd) || FromHandlePermanent(hWnd))
        return false;
    Attach(hWnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return true;
}

bool CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    return pParent && SubclassWindow(::GetDlgItem(pParent->m_hWnd, int(nID)));
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (hWnd && m_pfnSuper) {
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        m_pfnSuper = nullptr;
    }
    Detach();
    return hWnd;
}

bool CWnd::DestroyWindow() { return m_hWnd && ::DestroyWindow(m_hWnd); }

void AfxGetWindowText(HWND hWnd, CString& str)
{
    int n = ::GetWindowTextLengthA(hWnd);
    char* p = str.GetBufferSetLength(n + 1);
    int got = ::GetWindowTextA(hWnd, p, n + 1);
    str.ReleaseBuffer(std::clamp(got, 0, n));
}

void CWnd::CenterWindow()
{
    CRect rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);

    CRect rcArea = AfxGetWorkArea(m_hWnd);

    // Over a visible, not minimised owner; otherwise on the work area.
    CRect rcOver = rcArea;
    HWND hOwner = (::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) ? ::GetParent(m_hWnd)
                                                                   : ::GetWindow(m_hWnd, GW_OWNER);
    if (hOwner && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner))
        ::GetWindowRect(hOwner, &rcOver);

    CPoint pt = AfxCenterPosition(rcWindow, rcOver, rcArea);
    ::SetWindowPos(m_hWnd, nullptr, pt.x, pt.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWnd::Default()
{
    if (!m_pfnSuper)
        return ::DefWindowProcA(g_current.hWnd, g_current.message, g_current.wParam,
                                g_current.lParam);
    return ::CallWindowProcA(m_pfnSuper, g_current.hWnd, g_current.message, g_current.wParam,
                             g_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam))
            return 0;
        return Default();
    }
    if (const MsgMapEntry* pEntry = FindEntry(message, 0))
        return pEntry->pfnThunk(this, wParam, lParam);
    return Default();
}

bool CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // Menus, accelerators and posted commands carry no control; from a
    // control only a click is a command, other notifications are not.
    if (lParam != 0 && HIWORD(wParam) != BN_CLICKED)
        return false;
    return OnCmdMsg(LOWORD(wParam));
}

// F1 in one of our top-level windows asks the main window for help, unless a
// modifier key is held.
BOOL CWnd::OnHelpInfo(HELPINFO*)
{
    if (::GetKeyState(VK_SHIFT) < 0 || ::GetKeyState(VK_CONTROL) < 0 || ::GetKeyState(VK_MENU) < 0)
        return TRUE;
    CWnd* pMain = AfxGetMainWnd();
    if (pMain && pMain->m_hWnd)
        ::SendMessageA(pMain->m_hWnd, WM_COMMAND, ID_HELP, 0);
    return TRUE;
}

void AfxReportException(const CException* e)
{
    AfxMessageBox(e->GetErrorMessage(), MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
}

LRESULT CWnd::DispatchGuarded(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CurrentMessage saved = g_current;
    g_current = {hWnd, message, wParam, lParam};
    LRESULT result = 0;
    try {
        result = WindowProc(message, wParam, lParam);
    } catch (CException* e) {
        AfxReportException(e);
        e->Delete();
        result = 0;
    } catch (const std::bad_alloc&) {
        CMemoryException memory(false);
        AfxReportException(&memory);
        result = 0;
    } catch (...) {
        CException unknown(false);
        AfxReportException(&unknown);
        result = 0;
    }
    g_current = saved;
    return result;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    if (message != WM_NCDESTROY)
        return pWnd->DispatchGuarded(hWnd, message, wParam, lParam);

    // Last message: let the window finish, then forget it.
    LRESULT result = pWnd->DispatchGuarded(hWnd, message, wParam, lParam);
    if (pWnd->m_pfnSuper &&
        ::GetWindowLongPtrA(hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc))
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pWnd->m_pfnSuper));
    pWnd->m_pfnSuper = nullptr;
    pWnd->Detach();
    return result;
}

LRESULT CALLBACK AfxCbtProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HCBT_CREATEWND && g_pWndInit) {
        CWnd* pWnd = g_pWndInit;
        g_pWndInit = nullptr;
        // Nothing may be thrown through the system's frames. A window that
        // cannot be attached is not created: its creator sees the failure.
        bool bAttached = false;
        try {
            bAttached = pWnd->SubclassWindow(HWND(wParam));
        } catch (...) {
        }
        if (!bAttached)
            return 1;
    }
    return ::CallNextHookEx(g_hHookCbt, nCode, wParam, lParam);
}

void CWnd::HookWindowCreate()
{
    g_pWndInit = this;
    if (!g_hHookCbt)
        g_hHookCbt = ::SetWindowsHookExA(WH_CBT, &AfxCbtProc, nullptr, ::GetCurrentThreadId());
}

void CWnd::UnhookWindowCreate()
{
    g_pWndInit = nullptr;
    if (g_hHookCbt) {
        ::UnhookWindowsHookEx(g_hHookCbt);
        g_hHookCbt = nullptr;
    }
}
