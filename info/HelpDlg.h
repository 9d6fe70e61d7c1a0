// The Help window: a read-only text box showing a TXT resource, and "&Close".
#pragma once

#include "TextResource.h"
#include "platform/Afx.h"

// The program's help text.
inline constexpr const char* kHelpTextResource = "HELP";

// Sets a flag for its lifetime; the flag is cleared again however the scope ends.
class CFlagScope {
public:
    explicit CFlagScope(BOOL& bFlag) : m_bFlag(bFlag) { m_bFlag = TRUE; }
    ~CFlagScope() { m_bFlag = FALSE; }
    CFlagScope(const CFlagScope&) = delete;
    CFlagScope& operator=(const CFlagScope&) = delete;

private:
    BOOL& m_bFlag;
};

class CHelpDlg : public CDialog {
public:
    // pszCaptionSuffix: null appends nothing to the caption, kSuffixParentCaption
    // appends " - " and the parent's caption, any other text is appended as is.
    // Neither string is copied: both must outlive the dialog.
    CHelpDlg(CWnd* pParent, LPCSTR pszResourceName, LPCSTR pszCaptionSuffix);
    ~CHelpDlg() override;

    // Refuses (returning kAlreadyOpen) while another Help window runs.
    INT_PTR DoModal() override;

    static inline const LPCSTR kSuffixParentCaption = reinterpret_cast<LPCSTR>(INT_PTR(-1));
    static constexpr INT_PTR kAlreadyOpen = 3;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CTextResourceEdit m_editText;
    LPCSTR m_pszResourceName;
    LPCSTR m_pszCaptionSuffix;

    static BOOL s_bInModal;
};
