#include "HelpDlg.h"

#include "Caption.h"
#include "resource.h"

BOOL CHelpDlg::s_bInModal = FALSE;

CHelpDlg::CHelpDlg(CWnd* pParent, LPCSTR pszResourceName, LPCSTR pszCaptionSuffix)
    : CDialog(IDD_HELP, pParent), m_pszResourceName(pszResourceName),
      m_pszCaptionSuffix(pszCaptionSuffix)
{
}

CHelpDlg::~CHelpDlg() = default;

INT_PTR CHelpDlg::DoModal()
{
    if (s_bInModal)
        return kAlreadyOpen;
    CFlagScope inModal(s_bInModal);
    return CDialog::DoModal();
}

void CHelpDlg::DoDataExchange(CDataExchange* pDX) { DDX_Control(pDX, IDC_HELP_TEXT, m_editText); }

BOOL CHelpDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CString strTemplate;
    GetWindowText(strTemplate);
    CWinApp* pApp = AfxGetApp();
    CString strCaption = FormatCaption(strTemplate, pApp ? pApp->m_pszAppName : "");
    if (m_pszCaptionSuffix == kSuffixParentCaption) {
        strCaption += " - ";
        if (HWND hParent = ::GetParent(m_hWnd)) {
            CString strParent;
            CWnd::FromHandle(hParent)->GetWindowText(strParent);
            strCaption += strParent;
        }
    } else if (m_pszCaptionSuffix) {
        strCaption += m_pszCaptionSuffix;
    }
    SetWindowText(strCaption);

    m_editText.SetTextFromResource(m_pszResourceName, kTextResourceType);
    return TRUE;
}
