// The registry as the program reaches it: a table of the ADVAPI32 functions
// that tests may replace to cause failures that are hard to cause for real,
// an owner that closes a key handle through the same table, and the walk
// down a chain of keys that the profile functions and CRegistryKey share.
#pragma once

#include "AfxSeam.h"

#include <windows.h>

struct RegistryApi {
    LONG(WINAPI* OpenKeyEx)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI* CreateKeyEx)
    (HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
    LONG(WINAPI* QueryValueEx)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(WINAPI* SetValueEx)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    LONG(WINAPI* DeleteValue)(HKEY, LPCSTR);
    LONG(WINAPI* DeleteKey)(HKEY, LPCSTR);
    LONG(WINAPI* CloseKey)(HKEY);
};

// The table in use; the real functions unless a test has swapped it.
const RegistryApi& Registry();
// The real functions.
const RegistryApi& RealRegistry();

// Puts `api` in place for the lifetime of the object.
class ScopedRegistryApi : public ScopedSeam<const RegistryApi*> {
public:
    explicit ScopedRegistryApi(const RegistryApi& api);
};

// Owns an open key handle and closes it through Registry().
class CRegKeyHandle {
public:
    CRegKeyHandle() = default;
    explicit CRegKeyHandle(HKEY h) : m_h(h) {}
    ~CRegKeyHandle() { Close(); }
    CRegKeyHandle(const CRegKeyHandle&) = delete;
    CRegKeyHandle& operator=(const CRegKeyHandle&) = delete;

    HKEY Get() const { return m_h; }
    HKEY* Put()
    {
        Close();
        return &m_h;
    }
    HKEY Release()
    {
        HKEY h = m_h;
        m_h = nullptr;
        return h;
    }
    explicit operator bool() const { return m_h != nullptr; }
    void Close()
    {
        if (m_h) {
            Registry().CloseKey(m_h);
            m_h = nullptr;
        }
    }

private:
    HKEY m_h = nullptr;
};

// The key below a root that holds the programs' keys.
#define AFX_REG_SOFTWARE "Software"

// The access every key open and creation of the program asks for.
inline constexpr REGSAM AFX_REG_ACCESS = KEY_READ | KEY_WRITE; // 0x2001F

// A key reached from a predefined root through named levels: the first is
// only opened (never created), each one below it opened or created. Sections
// are keys directly below it. Every call opens the chain afresh and closes
// every handle it opened, deepest first, but the one it returns. A path of no
// levels names no key: every call on it fails without a registry call.
struct CRegKeyPath {
    static constexpr int kMaxLevels = 4;
    HKEY hRoot = nullptr;
    const char* levels[kMaxLevels] = {};
    int nLevels = 0;

    // The key, opened or created; 0 on failure. The caller closes it.
    HKEY Open() const;
    // A section, opened or created; 0 on failure, and for a null or empty
    // name, which would stand for the key itself. The caller closes it.
    HKEY OpenSection(const char* pszSection) const;
    // Stores a string value (REG_SZ) in a section. A null entry deletes the
    // section key, a null value the entry. FALSE on failure.
    BOOL WriteString(const char* pszSection, const char* pszEntry, const char* pszValue) const;
};
