#include "AboutDlg.h"

#include "Caption.h"
#include "TextResource.h"
#include "resource.h"

#include <cstring>

CAboutDlg::CAboutDlg(CWnd* pParent, LPCSTR pszNameVersion, LPCSTR pszNotice, LPCSTR pszDescription)
    : CDialog(IDD_ABOUT, pParent)
{
    m_strDescription.Format("%s\nBuilt on %s", pszDescription ? pszDescription : "", kBuildDate);
    m_strNameVersion = pszNameVersion;
    m_strNotice = pszNotice;
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Text(pDX, IDC_DESCRIPTION, m_strDescription);
    DDX_Text(pDX, IDC_NAME_VERSION, m_strNameVersion);
    DDX_Text(pDX, IDC_NOTICE, m_strNotice);
}

BOOL CAboutDlg::OnInitDialog()
{
    LOGFONTA lf;
    std::memset(&lf, 0, sizeof lf);
    lf.lfHeight = kAboutTextFontHeight;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::strncpy(lf.lfFaceName, kAboutTextFontFace, LF_FACESIZE - 1);
    m_font.CreateFontIndirect(&lf);

    CWnd* pText = GetDlgItem(IDC_ABOUT_TEXT);
    if (pText) {
        pText->SendMessage(WM_SETFONT, WPARAM(m_font.GetSafeHandle()), TRUE);
        CString strDisclaimer;
        LoadTextResource(kAboutTextResource, kTextResourceType, strDisclaimer);
        pText->SetWindowText(strDisclaimer);
    }

    CString strTemplate;
    GetWindowText(strTemplate);
    CWinApp* pApp = AfxGetApp();
    SetWindowText(FormatCaption(strTemplate, pApp ? pApp->m_pszAppName : ""));

    CDialog::OnInitDialog();
    return TRUE;
}
