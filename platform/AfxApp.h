// The application object, the profile functions and the message box.
#pragma once

#include "AfxWnd.h"

struct CRegKeyPath;

class CWinApp : public CCmdTarget {
public:
    // With no name the application name comes from string AFX_IDS_APP_TITLE.
    explicit CWinApp(const char* pszAppName = nullptr);
    ~CWinApp() override;

    // The program has no message loop of its own: its main dialog's modal
    // loop runs inside InitInstance, and WinMain ends after it.
    virtual BOOL InitInstance() { return TRUE; }

    const char* m_pszAppName = nullptr;
    const char* m_pszRegistryKey = nullptr;
    const char* m_pszProfileName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    void SetRegistryKey(const char* pszRegistryKey);

    // Per-user values under HKEY_CURRENT_USER\Software\<key>\<profile>\<section>.
    CString GetProfileString(const char* pszSection, const char* pszEntry,
                             const char* pszDefault = nullptr);
    BOOL WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue);
    UINT GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault);
    BOOL WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue);

private:
    friend bool AfxWinInit(HINSTANCE hInstance);
    // HKEY_CURRENT_USER\Software\<key>\<profile>; no key before SetRegistryKey.
    CRegKeyPath AppKeyPath() const;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetResourceHandle();

// Loads the application name and remembers the module of the current
// application object; WinMain calls it before InitInstance.
bool AfxWinInit(HINSTANCE hInstance);

// Message box captioned with the application name, owned by the main window's
// last active pop-up while a main window exists.
int AfxMessageBox(const char* pszText, UINT nType = MB_OK);
