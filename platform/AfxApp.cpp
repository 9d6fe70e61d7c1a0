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

CRegKeyPath CWinApp::AppKeyPath() const
{
    if (!m_pszRegistryKey || !m_pszProfileName)
        return {};
    return {HKEY_CURRENT_USER, {AFX_REG_SOFTWARE, m_pszRegistryKey, m_pszProfileName}, 3};
}

UINT CWinApp::GetProfileInt(const char* pszSection, const char* pszEntry, int nDefault)
{
    CRegKeyHandle section(AppKeyPath().OpenSection(pszSection));
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
    CRegKeyHandle section(AppKeyPath().OpenSection(pszSection));
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
    // Deleting an unnamed section fails, as it always has, once the
    // application key has been opened (and so created).
    if (!pszEntry && !(pszSection && *pszSection)) {
        CRegKeyHandle app(AppKeyPath().Open());
        return FALSE;
    }
    return AppKeyPath().WriteString(pszSection, pszEntry, pszValue);
}

BOOL CWinApp::WriteProfileInt(const char* pszSection, const char* pszEntry, int nValue)
{
    CRegKeyHandle section(AppKeyPath().OpenSection(pszSection));
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
