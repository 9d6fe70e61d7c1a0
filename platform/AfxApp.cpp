#include "AfxApp.h"

#include "AfxDialog.h"
#include "AfxRegistry.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

CWinApp* g_pApp = nullptr;

const char* Duplicate(const char* psz) { return psz ? _strdup(psz) : nullptr; }

void Release(const char*& psz)
{
    std::free(const_cast<char*>(psz));
    psz = nullptr;
}

} // namespace

CWinApp::CWinApp(const char* pszAppName)
{
    g_pApp = this;
    m_pszAppName = Duplicate(pszAppName);
}

CWinApp::~CWinApp()
{
    Release(m_pszAppName);
    Release(m_pszRegistryKey);
    Release(m_pszProfileName);
    if (g_pApp == this)
        g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetResourceHandle()
{
    if (g_pApp && g_pApp->m_hInstance)
        return g_pApp->m_hInstance;
    return ::GetModuleHandleA(nullptr);
}

bool AfxWinInit(HINSTANCE hInstance)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return false;
    pApp->m_hInstance = hInstance ? hInstance : ::GetModuleHandleA(nullptr);
    if (!pApp->m_pszAppName) {
        char name[256] = {};
        if (::LoadStringA(pApp->m_hInstance, AFX_IDS_APP_TITLE, name, sizeof name) <= 0) {
            // No title string: the module's file name without its extension.
            char path[MAX_PATH] = {};
            ::GetModuleFileNameA(pApp->m_hInstance, path, MAX_PATH - 1);
            const char* base = std::strrchr(path, '\\');
            base = base ? base + 1 : path;
            std::strncpy(name, base, sizeof name - 1);
            if (char* dot = std::strrchr(name, '.'))
                *dot = '\0';
        }
        pApp->m_pszAppName = Duplicate(name);
    }
    return true;
}

void CWinApp::SetRegistryKey(const char* pszRegistryKey)
{
    Release(m_pszRegistryKey);
    Release(m_pszProfileName);
    m_pszRegistryKey = Duplicate(pszRegistryKey);
    m_pszProfileName = Duplicate(m_pszAppName);
}

// HKEY_CURRENT_USER\Software\<key>\<profile>, opened or created; 0 on failure.
HKEY CWinApp::GetAppRegistryKey()
{
    if (!m_pszRegistryKey || !m_pszProfileName)
        return nullptr;
    const RegistryApi& reg = Registry();
    CRegKeyHandle software, company, app;
    if (reg.OpenKeyEx(HKEY_CURRENT_USER, AFX_REG_SOFTWARE, 0, AFX_REG_ACCESS, software.Put()) !=
        ERROR_SUCCESS)
        return nullptr;
    DWORD disposition;
    if (reg.CreateKeyEx(software.Get(), m_pszRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        AFX_REG_ACCESS, nullptr, company.Put(), &disposition) != ERROR_SUCCESS)
        return nullptr;
    if (reg.CreateKeyEx(company.Get(), m_pszProfileName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        AFX_REG_ACCESS, nullptr, app.Put(), &disposition) != ERROR_SUCCESS)
        return nullptr;
    return app.Release();
}

// A section must name a key of its own: an empty name would stand for the
// application key itself.
HKEY CWinApp::GetSectionKey(const char* pszSection)
{
    if (!pszSection || !*pszSection)
        return nullptr;
    CRegKeyHandle app(GetAppRegistryKey());
    if (!app)
        return nullptr;
    CRegKeyHandle section;
    DWORD disposition;
    if (Registry().CreateKeyEx(app.Get(), pszSection, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               AFX_REG_ACCESS, nullptr, section.Put(),
                               &disposition) != ERROR_SUCCESS)
        return nullptr;
    return section.Release();
}

UINT CWinApp::GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault)
{
    CRegKeyHandle section(GetSectionKey(pszSection));
    if (!section)
        return UINT(nDefault);
    DWORD value = 0, type = 0, size = sizeof value;
    LONG r = Registry().QueryValueEx(section.Get(), pszEntry, nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size);
    if (r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value)
        return value;
    return UINT(nDefault);
}

CString CWinApp::GetProfileString(const char* pszSection, const char* pszEntry,
                                  const char* pszDefault)
{
    CRegKeyHandle section(GetSectionKey(pszSection));
    if (!section)
        return CString(pszDefault);
    DWORD type = 0, size = 0;
    const RegistryApi& reg = Registry();
    if (reg.QueryValueEx(section.Get(), pszEntry, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ || size >= DWORD(INT_MAX))
        return CString(pszDefault);
    CString value;
    DWORD room = size;
    char* p = value.GetBufferSetLength(int(room));
    if (reg.QueryValueEx(section.Get(), pszEntry, nullptr, &type, reinterpret_cast<BYTE*>(p),
                         &room) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return CString(pszDefault);
    }
    value.ReleaseBuffer(-1); // bounded by the buffer: unterminated data cannot overrun
    return value;
}

BOOL CWinApp::WriteProfileString(const char* pszSection, const char* pszEntry, const char* pszValue)
{
    const RegistryApi& reg = Registry();
    if (!pszEntry) {
        CRegKeyHandle app(GetAppRegistryKey());
        return app && pszSection && *pszSection &&
               reg.DeleteKey(app.Get(), pszSection) == ERROR_SUCCESS;
    }
    CRegKeyHandle section(GetSectionKey(pszSection));
    if (!section)
        return FALSE;
    if (!pszValue)
        return reg.DeleteValue(section.Get(), pszEntry) == ERROR_SUCCESS;
    return reg.SetValueEx(section.Get(), pszEntry, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(pszValue),
                          DWORD(std::strlen(pszValue) + 1)) == ERROR_SUCCESS;
}

BOOL CWinApp::WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue)
{
    CRegKeyHandle section(GetSectionKey(pszSection));
    if (!section || !pszEntry)
        return FALSE;
    DWORD value = DWORD(nValue);
    return Registry().SetValueEx(section.Get(), pszEntry, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value),
                                 sizeof value) == ERROR_SUCCESS;
}

int AfxMessageBox(const char* pszText, UINT nType)
{
    CWinApp* pApp = AfxGetApp();
    CWnd* pMain = AfxGetMainWnd();
    HWND hOwner = (pMain && pMain->m_hWnd) ? ::GetLastActivePopup(pMain->m_hWnd) : nullptr;
    const char* pszCaption = (pApp && pApp->m_pszAppName) ? pApp->m_pszAppName : "";
    return ::MessageBoxA(hOwner, pszText, pszCaption, nType);
}
