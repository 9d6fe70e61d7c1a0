#include "TiermoApp.h"

#include "ui/TiermoDlg.h"

const MessageMap CTiermoApp::messageMap = {&CWinApp::messageMap, {}};

CTiermoApp::CTiermoApp() = default;

CTiermoApp::~CTiermoApp() = default;

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

    try {
        SetRegistryKey(kRegistryCompany);
        m_settings.m_dwCurrentVersion = kProgramVersion;
        m_settings.m_key.Reset(m_settings.m_key.GetRoot());
        m_settings.InitRecord();

        CTiermoDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    } catch (CException* e) {
        e->Delete();
        m_pMainWnd = nullptr;
        AfxMessageBox(kMsgStartFailed, MB_OK | MB_ICONSTOP);
    }
    return FALSE;
}
