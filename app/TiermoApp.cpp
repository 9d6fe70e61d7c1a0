#include "TiermoApp.h"

#include "info/AboutDlg.h"
#include "info/HelpDlg.h"
#include "ui/TiermoDlg.h"

#include "resource.h"

#include <new>

// The resource script names the framework's identifiers through resource.h.
static_assert(IDR_APP_TITLE == AFX_IDS_APP_TITLE);
static_assert(IDC_CMD_HELP == ID_HELP);
static_assert(IDC_CMD_APP_ABOUT == ID_APP_ABOUT);

const MsgMapEntry CTiermoApp::messageEntries[] = {
    msgmap::OnCommand<ID_APP_ABOUT, &CTiermoApp::OnAppAbout>(),
    msgmap::OnCommand<ID_HELP, &CTiermoApp::OnHelp>(),
};
const MessageMap CTiermoApp::messageMap = {&CCmdTarget::messageMap, messageEntries};

BOOL CTiermoApp::s_bInHelp = FALSE;

namespace {
CTiermoApp* s_pTiermoApp = nullptr;
}

CTiermoApp::CTiermoApp() { s_pTiermoApp = this; }

CTiermoApp::~CTiermoApp()
{
    if (s_pTiermoApp == this)
        s_pTiermoApp = nullptr;
}

CTiermoApp* CTiermoApp::GetCurrent()
{
    return (s_pTiermoApp && AfxGetApp() == s_pTiermoApp) ? s_pTiermoApp : nullptr;
}

bool CTiermoApp::IsSupportedWindowsVersion(DWORD dwVersion)
{
    const bool bNotNT = (dwVersion & 0x80000000u) != 0;
    const BYTE major = LOBYTE(LOWORD(dwVersion));
    return !(bNotNT && major < 4);
}

BOOL CTiermoApp::InitInstance()
{
    if (!IsSupportedWindowsVersion(::GetVersion())) {
        AfxMessageBox(kMsgUnsupportedWindows, MB_OK | MB_ICONSTOP);
        return FALSE;
    }

    // Running out of memory is a framework exception here too, whether the
    // framework raised it or an allocation threw.
    bool bStarted = false;
    try {
        InitVersionRecord();

        CTiermoDlg dlg;
        m_pMainWnd = &dlg;
        // -1: the dialog could not be made.
        bStarted = dlg.DoModal() != -1;
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    m_pMainWnd = nullptr;
    if (!bStarted)
        AfxMessageBox(kMsgStartFailed, MB_OK | MB_ICONSTOP);
    return FALSE;
}

void CTiermoApp::InitVersionRecord()
{
    SetRegistryKey(kRegistryCompany);
    m_settings.m_dwCurrentVersion = kProgramVersion;
    m_settings.m_key.Reset(m_settings.m_key.m_hRoot);
    m_settings.InitRecord();
}

void CTiermoApp::OnAppAbout()
{
    CString strNameVersion;
    strNameVersion.Format("%s v%s", m_pszAppName ? m_pszAppName : "", m_settings.GetVersionText());

    CWnd* pParent = nullptr;
    if (m_pMainWnd && m_pMainWnd->m_hWnd)
        pParent = CWnd::FromHandle(::GetLastActivePopup(m_pMainWnd->m_hWnd));

    CAboutDlg dlg(pParent, strNameVersion, kAboutNotice, kAboutDescription);
    dlg.DoModal();
}

void CTiermoApp::OnHelp()
{
    if (s_bInHelp)
        return;
    CFlagScope inHelp(s_bInHelp);
    CHelpDlg dlg(nullptr, kHelpTextResource, nullptr);
    dlg.DoModal();
}
