#include "AfxRegistry.h"

namespace {
const RegistryApi s_realRegistry = {
    RegOpenKeyExA,   RegCreateKeyExA, RegQueryValueExA, RegSetValueExA,
    RegDeleteValueA, RegDeleteKeyA,   RegCloseKey,
};
const RegistryApi* s_pRegistry = &s_realRegistry;

// Creates or opens pszName below hParent with the program's access.
LONG CreateSubKey(HKEY hParent, const char* pszName, CRegKeyHandle& key)
{
    DWORD disposition = 0;
    return Registry().CreateKeyEx(hParent, pszName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  AFX_REG_ACCESS, nullptr, key.Put(), &disposition);
}

bool IsName(const char* psz) { return psz && *psz; }

} // namespace

const RegistryApi& Registry() { return *s_pRegistry; }
const RegistryApi& RealRegistry() { return s_realRegistry; }

ScopedRegistryApi::ScopedRegistryApi(const RegistryApi& api) : ScopedSeam(s_pRegistry, &api) {}

HKEY CRegKeyPath::Open() const
{
    if (nLevels < 1 || nLevels > kMaxLevels)
        return nullptr;
    // An array's elements are destroyed last first: the deepest key is closed first.
    CRegKeyHandle keys[kMaxLevels];
    if (Registry().OpenKeyEx(hRoot, levels[0], 0, AFX_REG_ACCESS, keys[0].Put()) != ERROR_SUCCESS)
        return nullptr;
    for (int i = 1; i < nLevels; ++i) {
        if (CreateSubKey(keys[i - 1].Get(), levels[i], keys[i]) != ERROR_SUCCESS)
            return nullptr;
    }
    return keys[nLevels - 1].Release();
}

HKEY CRegKeyPath::OpenSection(const char* pszSection) const
{
    if (!IsName(pszSection))
        return nullptr;
    CRegKeyHandle key(Open());
    if (!key)
        return nullptr;
    CRegKeyHandle section;
    if (CreateSubKey(key.Get(), pszSection, section) != ERROR_SUCCESS)
        return nullptr;
    return section.Release();
}

BOOL CRegKeyPath::WriteString(const char* pszSection, const char* pszEntry,
                              const char* pszValue) const
{
    const RegistryApi& reg = Registry();
    if (!pszEntry) {
        if (!IsName(pszSection))
            return FALSE;
        CRegKeyHandle key(Open());
        return key && reg.DeleteKey(key.Get(), pszSection) == ERROR_SUCCESS;
    }
    CRegKeyHandle section(OpenSection(pszSection));
    if (!section)
        return FALSE;
    if (!pszValue)
        return reg.DeleteValue(section.Get(), pszEntry) == ERROR_SUCCESS;
    return reg.SetValueEx(section.Get(), pszEntry, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(pszValue),
                          DWORD(lstrlenA(pszValue) + 1)) == ERROR_SUCCESS;
}
