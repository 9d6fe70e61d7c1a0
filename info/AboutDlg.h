// The About box: name and version, rights notice, description with the build
// date, and the disclaimer in a smaller font.
#pragma once

#include "platform/Afx.h"
#include "product.h"

inline constexpr const char* kBuildDate = TIERMO_BUILD_DATE;
// Texts the application hands to the About box.
inline constexpr const char* kAboutNotice = TIERMO_COPYRIGHT "\n" TIERMO_RIGHTS;
inline constexpr const char* kAboutDescription = TIERMO_DESCRIPTION;
inline constexpr const char* kAboutTextResource = "AboutDis";

// Font of the disclaimer: 9-pixel character height, Arial.
inline constexpr LONG kAboutTextFontHeight = -9;
inline constexpr const char* kAboutTextFontFace = "Arial";

class CAboutDlg : public CDialog {
public:
    CAboutDlg(CWnd* pParent, LPCSTR pszNameVersion, LPCSTR pszNotice, LPCSTR pszDescription);
    ~CAboutDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CString m_strDescription;
    CString m_strNameVersion;
    CString m_strNotice;
    CFont m_font;
};
