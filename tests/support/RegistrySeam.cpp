#include "RegistrySeam.h"

#include <cstdlib>

namespace test_support {

CountingRegistry* CountingRegistry::s_pActive = nullptr;

const RegistryApi& CountingRegistry::Api()
{
    static const RegistryApi api = {OpenKeyEx,   CreateKeyEx, QueryValueEx, SetValueEx,
                                    DeleteValue, DeleteKey,   CloseKey};
    return api;
}

CountingRegistry::CountingRegistry() : m_scope(Api()) { s_pActive = this; }

CountingRegistry::~CountingRegistry() { s_pActive = nullptr; }

void CountingRegistry::FailKeyCall(int nCall, LONG lError)
{
    m_nFailKeyCall = nCall;
    m_lKeyCallError = lError;
}

void CountingRegistry::Clear()
{
    m_keyCalls.clear();
    m_nCloses = m_nStrayCloses = m_nQueries = m_nSets = m_nDeletes = 0;
    m_nFailKeyCall = 0;
    m_lKeyCallError = m_lQueryError = m_lSetError = m_lDeleteError = ERROR_SUCCESS;
    m_fakeQuery = nullptr;
}

LONG CountingRegistry::NextKeyCallError()
{
    return int(m_keyCalls.size()) == m_nFailKeyCall ? m_lKeyCallError : ERROR_SUCCESS;
}

void CountingRegistry::Opened(LONG lResult, PHKEY phKey)
{
    if (lResult == ERROR_SUCCESS && phKey && *phKey)
        m_open.insert(*phKey);
}

LONG WINAPI CountingRegistry::OpenKeyEx(HKEY hKey, LPCSTR pszName, DWORD dwOptions, REGSAM access,
                                        PHKEY phResult)
{
    CountingRegistry& self = *s_pActive;
    self.m_keyCalls.push_back({KeyCall::kOpen, hKey, pszName ? pszName : ""});
    if (LONG lError = self.NextKeyCallError())
        return lError;
    LONG r = RealRegistry().OpenKeyEx(hKey, pszName, dwOptions, access, phResult);
    self.Opened(r, phResult);
    return r;
}

LONG WINAPI CountingRegistry::CreateKeyEx(HKEY hKey, LPCSTR pszName, DWORD dwReserved,
                                          LPSTR pszClass, DWORD dwOptions, REGSAM access,
                                          LPSECURITY_ATTRIBUTES pSecurity, PHKEY phResult,
                                          LPDWORD pdwDisposition)
{
    CountingRegistry& self = *s_pActive;
    self.m_keyCalls.push_back({KeyCall::kCreate, hKey, pszName ? pszName : ""});
    if (LONG lError = self.NextKeyCallError())
        return lError;
    LONG r = RealRegistry().CreateKeyEx(hKey, pszName, dwReserved, pszClass, dwOptions, access,
                                        pSecurity, phResult, pdwDisposition);
    self.Opened(r, phResult);
    return r;
}

LONG WINAPI CountingRegistry::QueryValueEx(HKEY hKey, LPCSTR pszName, LPDWORD pReserved,
                                           LPDWORD pType, LPBYTE pData, LPDWORD pcbData)
{
    CountingRegistry& self = *s_pActive;
    ++self.m_nQueries;
    if (self.m_lQueryError)
        return self.m_lQueryError;
    if (self.m_fakeQuery)
        return self.m_fakeQuery(hKey, pszName, pReserved, pType, pData, pcbData);
    return RealRegistry().QueryValueEx(hKey, pszName, pReserved, pType, pData, pcbData);
}

LONG WINAPI CountingRegistry::SetValueEx(HKEY hKey, LPCSTR pszName, DWORD dwReserved, DWORD dwType,
                                         const BYTE* pData, DWORD cbData)
{
    CountingRegistry& self = *s_pActive;
    ++self.m_nSets;
    if (self.m_lSetError)
        return self.m_lSetError;
    return RealRegistry().SetValueEx(hKey, pszName, dwReserved, dwType, pData, cbData);
}

LONG WINAPI CountingRegistry::DeleteValue(HKEY hKey, LPCSTR pszName)
{
    CountingRegistry& self = *s_pActive;
    ++self.m_nDeletes;
    if (self.m_lDeleteError)
        return self.m_lDeleteError;
    return RealRegistry().DeleteValue(hKey, pszName);
}

LONG WINAPI CountingRegistry::DeleteKey(HKEY hKey, LPCSTR pszName)
{
    CountingRegistry& self = *s_pActive;
    ++self.m_nDeletes;
    if (self.m_lDeleteError)
        return self.m_lDeleteError;
    return RealRegistry().DeleteKey(hKey, pszName);
}

LONG WINAPI CountingRegistry::CloseKey(HKEY hKey)
{
    CountingRegistry& self = *s_pActive;
    if (self.m_open.erase(hKey))
        ++self.m_nCloses;
    else
        ++self.m_nStrayCloses;
    return RealRegistry().CloseKey(hKey);
}

void ForgetRegistryKey()
{
    // The framework keeps both names as heap copies of its own.
    CWinApp* pApp = AfxGetApp();
    std::free(const_cast<char*>(pApp->m_pszRegistryKey));
    std::free(const_cast<char*>(pApp->m_pszProfileName));
    pApp->m_pszRegistryKey = nullptr;
    pApp->m_pszProfileName = nullptr;
}

} // namespace test_support
