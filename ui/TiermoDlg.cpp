#include "TiermoDlg.h"

#include "resource.h"

#include "app/TiermoApp.h"

const MsgMapEntry CTiermoDlg::messageEntries[] = {
    msgmap::OnSysCommand<&CTiermoDlg::OnSysCommand>(),
    msgmap::OnPaint<&CTiermoDlg::OnPaint>(),
    msgmap::OnQueryDragIcon<&CTiermoDlg::OnQueryDragIcon>(),
};
const MessageMap CTiermoDlg::messageMap = {&CDialog::messageMap, messageEntries};

CTiermoDlg::CTiermoDlg(CWnd* pParent) : CDialog(IDD_MAIN, pParent)
{
    m_iconTop.m_pWndInsertAfter = &CWnd::wndTopMost;
    m_iconBottom.m_pWndInsertAfter = &CWnd::wndBottom;
    m_iconNormal.m_pWndInsertAfter = &CWnd::wndNoTopMost;
    m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_APP));
}

CTiermoDlg::~CTiermoDlg() = default;

void CTiermoDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_TOP, m_iconTop);
    DDX_Control(pDX, IDC_NORMAL, m_iconNormal);
    DDX_Control(pDX, IDC_BOTTOM, m_iconBottom);
}

BOOL CTiermoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, LPARAM(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, LPARAM(m_hIcon));

    // A version that differs from the one that ran last greets with the About box.
    const CTiermoApp* pApp = CTiermoApp::GetCurrent();
    if (pApp && pApp->m_settings.m_dwStoredVersion != pApp->m_settings.m_dwCurrentVersion)
        PostMessage(WM_COMMAND, ID_APP_ABOUT, 0);
    return TRUE;
}

void CTiermoDlg::OnSysCommand(UINT nID, LPARAM)
{
    // No sizing and no maximising: the dialog has one size.
    if (nID == SC_SIZE || nID == SC_MAXIMIZE)
        return;
    Default();
}

CPoint CTiermoDlg::IconPosition(int cxClient, int cyClient, int cxIcon, int cyIcon)
{
    return CPoint((cxClient - cxIcon + 1) / 2, (cyClient - cyIcon + 1) / 2);
}

void CTiermoDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, WPARAM(dc.m_hDC), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    CPoint pt = IconPosition(rect.Width(), rect.Height(), cxIcon, cyIcon);
    dc.DrawIcon(pt.x, pt.y, m_hIcon);
}

HCURSOR CTiermoDlg::OnQueryDragIcon() { return HCURSOR(m_hIcon); }
