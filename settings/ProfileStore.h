// CProfileStore: the base of a settings record. Reads and writes named
// integers and strings by section and entry through one of two backends,
// chosen at construction from a registry root: the application's profile
// functions for HKEY_CURRENT_USER, the store's own registry key otherwise.
#pragma once

#include "RegistryKey.h"

class CProfileStore {
public:
    // 0 stands for HKEY_LOCAL_MACHINE.
    explicit CProfileStore(HKEY hRoot);
    virtual ~CProfileStore();
    CProfileStore(const CProfileStore&) = delete;
    CProfileStore& operator=(const CProfileStore&) = delete;

    virtual void InitRecord();

    CString GetString(const char* pszSection, const char* pszEntry, const CString& strDefault);
    // A null entry deletes the whole section.
    BOOL WriteString(const char* pszSection, const char* pszEntry, const CString& strValue);
    int GetInt(const char* pszSection, const char* pszEntry, int nDefault);
    BOOL WriteInt(const char* pszSection, const char* pszEntry, int nValue);

    // One row per backend; every entry takes the store first.
    struct BackendOps {
        CString (*GetString)(CProfileStore& store, const char* pszSection, const char* pszEntry,
                             const CString& strDefault);
        BOOL(*WriteString)
        (CProfileStore& store, const char* pszSection, const char* pszEntry,
         const CString& strValue);
        int (*GetInt)(CProfileStore& store, const char* pszSection, const char* pszEntry,
                      int nDefault);
        BOOL(*WriteInt)
        (CProfileStore& store, const char* pszSection, const char* pszEntry, int nValue);
    };
    static const BackendOps s_backendOps[2];

    // Backend rows.
    static constexpr int kBackendProfile = 0;
    static constexpr int kBackendRegistryKey = 1;

    CRegistryKey m_key;
    int m_nBackend = kBackendProfile;
};
