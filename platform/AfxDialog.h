// Modal dialogs created from templates in the executable, and dialog data
// exchange.
#pragma once

#include "AfxWnd.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd)
    {
    }
    BOOL m_bSaveAndValidate; // TRUE: controls to members; FALSE: members to controls
    CDialog* m_pDlgWnd;
};

// Attaches control nIDC of the dialog to rControl (once), so that the
// control's messages reach rControl's message map.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Copies value into control nIDC's text, or the text back into value.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the dialog, runs it modally with its owner disabled and returns
    // the value given to EndDialog; -1 when it could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    bool OnCmdMsg(UINT nID, bool bQueryOnly = false) override;

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    LRESULT HandleInitDialog(WPARAM, LPARAM);
    void CallOnOK() { OnOK(); }
    void CallOnCancel() { OnCancel(); }
    void RunModalLoop();
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);

    const DLGTEMPLATE* m_lpTemplate = nullptr;
    int m_nModalResult = -1;
    bool m_bEnded = false;

    DECLARE_MESSAGE_MAP()
};

// Message-loop filter shared by all modal loops: F1 becomes WM_HELP to the
// window's top-level window, and dialog keys go to the dialog. Returns true
// when the message was consumed.
bool AfxPreTranslateMessage(MSG* pMsg, HWND hDialog);
