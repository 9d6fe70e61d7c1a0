#include "AfxDialog.h"

#include "AfxApp.h"
#include "AfxNewerApi.h"

#include <cstring>

namespace {

constexpr UINT AFX_WM_KEYF1 = 0x004D; // not in the SDK headers

// Position and style as the template gives them (either template format).
struct TemplateInfo {
    DWORD style;
    short x;
    short y;
};

TemplateInfo ReadTemplate(const DLGTEMPLATE* p)
{
    const WORD* w = reinterpret_cast<const WORD*>(p);
    if (w[0] == 1 && w[1] == 0xFFFF) {
        // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style, cDlgItems, x, y
        const BYTE* b = reinterpret_cast<const BYTE*>(p);
        DWORD style;
        short x, y;
        memcpy(&style, b + 12, sizeof style);
        memcpy(&x, b + 18, sizeof x);
        memcpy(&y, b + 20, sizeof y);
        return {style, x, y};
    }
    return {p->style, p->x, p->y};
}

// The window that owns a dialog or message box when none is named: the main
// window's last active pop-up.
HWND SafeOwner(HWND hParent)
{
    HWND h = hParent;
    if (!h) {
        CWnd* pMain = AfxGetMainWnd();
        h = pMain ? pMain->m_hWnd : nullptr;
    }
    while (h && (::GetWindowLongA(h, GWL_STYLE) & WS_CHILD))
        h = ::GetParent(h);
    if (!hParent && h)
        h = ::GetLastActivePopup(h);
    return h;
}

// The help button's command goes through the dialog's owner to the
// application, so either the main window or the application may handle it.
bool HelpHandlerReachable()
{
    CWnd* pMain = AfxGetMainWnd();
    if (pMain && pMain->OnCmdMsg(ID_HELP, true))
        return true;
    CWinApp* pApp = AfxGetApp();
    return pApp && pApp->OnCmdMsg(ID_HELP, true);
}

} // namespace

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd)
        return;
    rControl.SubclassDlgItem(UINT(nIDC), pDX->m_pDlgWnd);
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hCtl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (!hCtl)
        return;
    if (pDX->m_bSaveAndValidate)
        AfxGetWindowText(hCtl, value);
    else
        ::SetWindowTextA(hCtl, value);
}

bool AfxPreTranslateMessage(MSG* pMsg, HWND hDialog)
{
    // The system follows an unmodified F1 with WM_KEYF1, whose default
    // processing would send a second WM_HELP: F1 is handled here alone.
    if (pMsg->message == AFX_WM_KEYF1)
        return true;
    if ((pMsg->message == WM_KEYDOWN || pMsg->message == WM_SYSKEYDOWN) && pMsg->wParam == VK_F1) {
        HWND hTop = AfxGetRootWindow(pMsg->hwnd);
        if (hTop && CWnd::FromHandlePermanent(hTop)) {
            HELPINFO hi = {};
            hi.cbSize = sizeof hi;
            hi.iContextType = HELPINFO_WINDOW;
            hi.iCtrlId = ::GetDlgCtrlID(pMsg->hwnd);
            hi.hItemHandle = pMsg->hwnd;
            hi.MousePos = pMsg->pt;
            ::SendMessageA(hTop, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
        }
        return true;
    }
    return hDialog && ::IsDialogMessageA(hDialog, pMsg);
}

// ---------------------------------------------------------------------------

const MsgMapEntry CDialog::messageEntries[] = {
    msgmap::OnMessage<WM_INITDIALOG, &CDialog::HandleInitDialog>(),
    msgmap::OnCommand<IDOK, &CDialog::CallOnOK>(),
    msgmap::OnCommand<IDCANCEL, &CDialog::CallOnCancel>(),
};
const MessageMap CDialog::messageMap = {&CWnd::messageMap, messageEntries};

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal()
{
    HINSTANCE hInst = AfxGetResourceHandle();
    HRSRC hRes = ::FindResourceA(hInst, MAKEINTRESOURCEA(m_nIDTemplate), RT_DIALOG);
    HGLOBAL hData = hRes ? ::LoadResource(hInst, hRes) : nullptr;
    m_lpTemplate = hData ? static_cast<const DLGTEMPLATE*>(::LockResource(hData)) : nullptr;
    if (!m_lpTemplate)
        return -1;

    HWND hOwner = SafeOwner(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr);
    bool bEnableOwner = false;
    if (hOwner && ::IsWindowEnabled(hOwner)) {
        ::EnableWindow(hOwner, FALSE);
        bEnableOwner = true;
    }

    m_nModalResult = -1;
    m_bEnded = false;
    HookWindowCreate();
    HWND hWnd = ::CreateDialogIndirectParamA(hInst, m_lpTemplate, hOwner, &DialogProc, 0);
    UnhookWindowCreate();

    // A window the hook could not attach to this object would have no
    // handlers: it is not run but destroyed.
    const bool bAttached = hWnd && m_hWnd == hWnd;
    if (hWnd && !bAttached)
        ::DestroyWindow(hWnd);
    if (bAttached && !m_bEnded)
        RunModalLoop();

    // Give the owner back its input before this window goes, so that it is
    // the one that becomes active.
    if (bEnableOwner)
        ::EnableWindow(hOwner, TRUE);
    if (hOwner && m_hWnd && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hOwner);
    if (m_hWnd)
        DestroyWindow();
    m_lpTemplate = nullptr;
    return bAttached ? m_nModalResult : -1;
}

void CDialog::RunModalLoop()
{
    bool bShowIdle = !(::GetWindowLongA(m_hWnd, GWL_STYLE) & WS_VISIBLE);
    MSG msg;
    while (!m_bEnded && m_hWnd) {
        if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (bShowIdle) {
                ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
                ::UpdateWindow(m_hWnd);
                bShowIdle = false;
            }
            CWnd::DeleteTempMap();
        }
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Hand the quit request on to the outer loop.
            ::PostQuitMessage(int(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!AfxPreTranslateMessage(&msg, m_hWnd)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bEnded = true;
    if (m_hWnd)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    HWND hHelp = ::GetDlgItem(m_hWnd, ID_HELP);
    if (hHelp && !HelpHandlerReachable())
        ::ShowWindow(hHelp, SW_HIDE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCmdMsg(UINT nID, bool bQueryOnly)
{
    if (CWnd::OnCmdMsg(nID, bQueryOnly))
        return true;
    if (nID < 0x8000 || nID > 0xEFFF)
        return false;
    if (m_hWnd) {
        CWnd* pParent = FromHandlePermanent(::GetParent(m_hWnd));
        if (pParent && pParent != this && pParent->OnCmdMsg(nID, bQueryOnly))
            return true;
    }
    CWinApp* pApp = AfxGetApp();
    return pApp && pApp->OnCmdMsg(nID, bQueryOnly);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    CRect rcBefore;
    ::GetWindowRect(m_hWnd, &rcBefore);
    BOOL bResult = OnInitDialog();

    // A template at (0, 0) with no placement style of its own, not moved by
    // the initialisation, is centred by the framework.
    CRect rcAfter;
    ::GetWindowRect(m_hWnd, &rcAfter);
    TemplateInfo t = m_lpTemplate ? ReadTemplate(m_lpTemplate) : TemplateInfo{DS_ABSALIGN, 1, 1};
    if (t.x == 0 && t.y == 0 && !(t.style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) &&
        rcBefore == rcAfter)
        CenterWindow();
    return bResult;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT, WPARAM, LPARAM)
{
    // Every message reaches the object through the subclassed window
    // procedure first; what is left gets the dialog manager's defaults.
    return FALSE;
}
