// The main window: three drag icons, instructions and three buttons.
#pragma once

#include "DragIcon.h"
#include "platform/Afx.h"

class CTiermoDlg : public CDialog {
public:
    explicit CTiermoDlg(CWnd* pParent = nullptr);
    ~CTiermoDlg() override;

    // Where the minimised window's icon is drawn: centred, an odd extra pixel
    // going to the left and top margins.
    static CPoint IconPosition(int cxClient, int cyClient, int cxIcon, int cyIcon);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();

    CZOrderIcon m_iconTop;
    CZOrderIcon m_iconBottom;
    CZOrderIcon m_iconNormal;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()
};
