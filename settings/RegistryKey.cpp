#include "RegistryKey.h"

#include <climits>
#include <cstring>

CRegistryKey::CRegistryKey(HKEY hRoot, const char* pszSoftware, const char* pszCompany,
                           const char* pszApp, const char* pszSubKey)
{
    Reset(hRoot, pszSoftware, pszCompany, pszApp, pszSubKey);
}

CRegistryKey::~CRegistryKey() = default;

void CRegistryKey::Reset(HKEY hRoot, const char* pszSoftware, const char* pszCompany,
                         const char* pszApp, const char* pszSubKey)
{
    m_hRoot = hRoot;
    if (!hRoot) {
        m_strSoftware.Empty();
        m_strCompany.Empty();
        m_strApp.Empty();
        m_strSubKey.Empty();
        return;
    }
    const CWinApp* pApp = AfxGetApp();
    m_strSoftware = pszSoftware ? pszSoftware : AFX_REG_SOFTWARE;
    m_strCompany = pszCompany ? pszCompany : (pApp ? pApp->m_pszRegistryKey : nullptr);
    m_strApp = pszApp ? pszApp : (pApp ? pApp->m_pszProfileName : nullptr);
    m_strSubKey = pszSubKey ? pszSubKey : "";
}

CRegKeyPath CRegistryKey::AppKeyPath() const
{
    // An empty level would make the registry stay on its parent, and the
    // sections would land (or be deleted) somewhere else: no key then.
    if (!m_hRoot || m_strSoftware.IsEmpty() || m_strCompany.IsEmpty() || m_strApp.IsEmpty())
        return {};
    return {m_hRoot,
            {m_strSoftware, m_strCompany, m_strApp, m_strSubKey},
            m_strSubKey.IsEmpty() ? 3 : 4};
}

HKEY CRegistryKey::OpenAppKey() const { return AppKeyPath().Open(); }

int CRegistryKey::GetInt(const char* pszSection, const char* pszEntry, int nDefault) const
{
    if (!pszEntry)
        return nDefault;
    CRegKeyHandle section(AppKeyPath().OpenSection(pszSection));
    if (!section)
        return nDefault;
    // Shorter data fills the low bytes; the others stay zero.
    DWORD value = 0, type = 0, size = sizeof value;
    LONG r = Registry().QueryValueEx(section.Get(), pszEntry, nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size);
    section.Close();
    return r == ERROR_SUCCESS ? int(value) : nDefault;
}

BOOL CRegistryKey::WriteInt(const char* pszSection, const char* pszEntry, int nValue) const
{
    if (!pszEntry)
        return FALSE;
    CRegKeyHandle section(AppKeyPath().OpenSection(pszSection));
    if (!section)
        return FALSE;
    const DWORD value = DWORD(nValue);
    return Registry().SetValueEx(section.Get(), pszEntry, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value),
                                 sizeof value) == ERROR_SUCCESS;
}

CString CRegistryKey::GetString(const char* pszSection, const char* pszEntry,
                                const char* pszDefault) const
{
    if (!pszEntry)
        return CString(pszDefault);
    CRegKeyHandle section(AppKeyPath().OpenSection(pszSection));
    if (!section)
        return CString(pszDefault);
    return QueryStringValue(section.Get(), pszEntry, pszDefault);
}

CString CRegistryKey::QueryStringValue(HKEY hKey, const char* pszEntry, const char* pszDefault)
{
    if (!hKey || !pszEntry)
        return CString(pszDefault);
    const RegistryApi& reg = Registry();
    DWORD type = 0, size = 0;
    if (reg.QueryValueEx(hKey, pszEntry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size >= DWORD(INT_MAX))
        return CString(pszDefault);
    // The buffer holds size bytes and a terminator; the registry is told only
    // size, so data that grew since the size query fails instead of overrunning.
    CString value;
    DWORD room = size;
    char* p = value.GetBufferSetLength(int(size));
    if (reg.QueryValueEx(hKey, pszEntry, nullptr, &type, reinterpret_cast<BYTE*>(p), &room) !=
            ERROR_SUCCESS ||
        room > size)
        return CString(pszDefault);
    value.ReleaseBuffer(int(strnlen(p, room)));
    return value;
}

BOOL CRegistryKey::WriteString(const char* pszSection, const char* pszEntry,
                               const char* pszValue) const
{
    return AppKeyPath().WriteString(pszSection, pszEntry, pszValue);
}
