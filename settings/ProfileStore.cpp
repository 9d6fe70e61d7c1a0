#include "ProfileStore.h"

namespace {

// Row 0: the current application object's profile functions. Without an
// application object there is no profile: reads give the default, writes false.
CString ProfileGetString(CProfileStore&, const char* pszSection, const char* pszEntry,
                         const CString& strDefault)
{
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->GetProfileString(pszSection, pszEntry, strDefault) : strDefault;
}

BOOL ProfileWriteString(CProfileStore&, const char* pszSection, const char* pszEntry,
                        const CString& strValue)
{
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->WriteProfileString(pszSection, pszEntry, strValue) : FALSE;
}

int ProfileGetInt(CProfileStore&, const char* pszSection, const char* pszEntry, int nDefault)
{
    CWinApp* pApp = AfxGetApp();
    return pApp ? int(pApp->GetProfileInt(pszSection, pszEntry, nDefault)) : nDefault;
}

BOOL ProfileWriteInt(CProfileStore&, const char* pszSection, const char* pszEntry, int nValue)
{
    CWinApp* pApp = AfxGetApp();
    return pApp ? pApp->WriteProfileInt(pszSection, pszEntry, nValue) : FALSE;
}

// Row 1: the store's own registry key.
CString KeyGetString(CProfileStore& store, const char* pszSection, const char* pszEntry,
                     const CString& strDefault)
{
    return store.m_key.GetString(pszSection, pszEntry, strDefault);
}

BOOL KeyWriteString(CProfileStore& store, const char* pszSection, const char* pszEntry,
                    const CString& strValue)
{
    return store.m_key.WriteString(pszSection, pszEntry, strValue);
}

int KeyGetInt(CProfileStore& store, const char* pszSection, const char* pszEntry, int nDefault)
{
    return store.m_key.GetInt(pszSection, pszEntry, nDefault);
}

BOOL KeyWriteInt(CProfileStore& store, const char* pszSection, const char* pszEntry, int nValue)
{
    return store.m_key.WriteInt(pszSection, pszEntry, nValue);
}

} // namespace

const CProfileStore::BackendOps CProfileStore::s_backendOps[2] = {
    {ProfileGetString, ProfileWriteString, ProfileGetInt, ProfileWriteInt},
    {KeyGetString, KeyWriteString, KeyGetInt, KeyWriteInt},
};

CProfileStore::CProfileStore(HKEY hRoot) : m_key(HKEY_LOCAL_MACHINE)
{
    m_nBackend = kBackendProfile;
    if (hRoot != HKEY_CURRENT_USER)
        m_nBackend = kBackendRegistryKey;
    if (!hRoot)
        hRoot = HKEY_LOCAL_MACHINE;
    m_key.Reset(hRoot);
}

CProfileStore::~CProfileStore() = default;

void CProfileStore::InitRecord() {}

CString CProfileStore::GetString(const char* pszSection, const char* pszEntry,
                                 const CString& strDefault)
{
    return s_backendOps[m_nBackend].GetString(*this, pszSection, pszEntry, strDefault);
}

BOOL CProfileStore::WriteString(const char* pszSection, const char* pszEntry,
                                const CString& strValue)
{
    return s_backendOps[m_nBackend].WriteString(*this, pszSection, pszEntry, strValue);
}

int CProfileStore::GetInt(const char* pszSection, const char* pszEntry, int nDefault)
{
    return s_backendOps[m_nBackend].GetInt(*this, pszSection, pszEntry, nDefault);
}

BOOL CProfileStore::WriteInt(const char* pszSection, const char* pszEntry, int nValue)
{
    return s_backendOps[m_nBackend].WriteInt(*this, pszSection, pszEntry, nValue);
}
