// The About box: name and version, rights notice, description with the build
// date, and the disclaimer in a smaller font.
#pragma once

#include "platform/Afx.h"

// Build date shown in the About box, "Mmm dd yyyy"; set by the build.
#ifndef TIERMO_BUILD_DATE
#define TIERMO_BUILD_DATE "Nov 30 1996"
#endif
inline constexpr const char* kBuildDate = TIERMO_BUILD_DATE;

// Texts the application hands to the About box.
inline constexpr const char* kAboutNotice = "Copyright (C) 1996 Kevra\nAll rights reserved.";
inline constexpr const char* kAboutDescription = "Win32 Windows Z-Ordering Tool";
inline constexpr const char* kAboutTextResource = "AboutDis";

// Font of the disclaimer: 9-pixel character height, Arial.
inline constexpr LONG kAboutTextFontHeight = -9;
inline constexpr const char* kAboutTextFontFace = "Arial";

class CAboutDlg : public CDialog {
public:
    CAboutDlg(CWnd* pParent, LPCSTR pszNameVersion, LPCSTR pszNotice, LPCSTR pszDescription);
    ~CAboutDlg() override;

    static const MessageMap messageMap;

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CString m_strDescription;
    CString m_strNameVersion;
    CString m_strNotice;
    CFont m_font;
};
