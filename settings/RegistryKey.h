// CRegistryKey: one application key (a predefined root followed by the levels
// Software\<company>\<app>[\<subkey>]) and the integers and strings kept in
// named sections below it. Every call opens the chain afresh and closes what
// it opened; failures are silent: reads give the default, writes give false.
#pragma once

#include "platform/Afx.h"

class CRegistryKey {
public:
    // A null part takes its default: AFX_REG_SOFTWARE, the application's registry
    // key name, its profile name, no fourth level. A root of 0 disables the key.
    explicit CRegistryKey(HKEY hRoot = HKEY_LOCAL_MACHINE, const char* pszSoftware = nullptr,
                          const char* pszCompany = nullptr, const char* pszApp = nullptr,
                          const char* pszSubKey = nullptr);
    ~CRegistryKey();

    // Replaces all five fields with the same rules as the constructor.
    void Reset(HKEY hRoot, const char* pszSoftware = nullptr, const char* pszCompany = nullptr,
               const char* pszApp = nullptr, const char* pszSubKey = nullptr);

    // Opens or creates the application key (the first level is only opened);
    // 0 on failure. The caller closes the handle.
    HKEY OpenAppKey() const;

    int GetInt(const char* pszSection, const char* pszEntry, int nDefault) const;
    BOOL WriteInt(const char* pszSection, const char* pszEntry, int nValue) const;
    CString GetString(const char* pszSection, const char* pszEntry, const char* pszDefault) const;
    // A null entry deletes the section key; a null value deletes the entry.
    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue) const;

    // Reads a value of an open key as a string, up to its first zero byte.
    static CString QueryStringValue(HKEY hKey, const char* pszEntry, const char* pszDefault);

    // The path, as the constructor or Reset set it; change it with Reset.
    HKEY m_hRoot = nullptr;
    CString m_strSoftware;
    CString m_strCompany;
    CString m_strApp;
    CString m_strSubKey;

private:
    // The application key's path; none while a level is missing.
    CRegKeyPath AppKeyPath() const;
};
