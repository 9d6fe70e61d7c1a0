#include "SettingsTestSupport.h"

#include <cstdlib>
#include <sstream>

namespace settings_test {

namespace {

constexpr DWORD kRegTimeoutMs = 15000;

// Deletes a file when it goes out of scope.
class CTempFile {
public:
    CTempFile()
    {
        char dir[MAX_PATH] = {};
        char path[MAX_PATH] = {};
        if (::GetTempPathA(MAX_PATH, dir) && ::GetTempFileNameA(dir, "reg", 0, path))
            m_path = path;
    }
    ~CTempFile()
    {
        if (!m_path.empty())
            ::DeleteFileA(m_path.c_str());
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

class CHandle {
public:
    explicit CHandle(HANDLE h = nullptr) : m_h(h) {}
    ~CHandle()
    {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

std::string ReadFileText(const std::string& path)
{
    CHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (!file.Valid())
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

// reg.exe separates name, type and data by four spaces.
constexpr const char* kRegSeparator = "    ";

} // namespace

RegOutput RunReg(const std::string& args)
{
    RegOutput out;
    CTempFile output;
    if (output.Path().empty())
        return out;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    CHandle file(::CreateFileA(output.Path().c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, nullptr));
    if (!file.Valid())
        return out;
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    // The registry view of this test program, which is that of the program
    // under test: a 32-bit build keeps HKEY_LOCAL_MACHINE\Software values in
    // the 32-bit view (Software\WOW6432Node to a 64-bit reader).
    const char* view = sizeof(void*) == 4 ? " /reg:32" : " /reg:64";
    std::string command = std::string("\"") + system + "\\reg.exe\" " + args + view;

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = file.Get();
    si.hStdError = file.Get();
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &si, &pi))
        return out;
    CHandle process(pi.hProcess);
    CHandle thread(pi.hThread);
    if (::WaitForSingleObject(pi.hProcess, kRegTimeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, kRegTimeoutMs);
        return out;
    }
    ::GetExitCodeProcess(pi.hProcess, &out.dwExitCode);
    out.bRan = true;
    out.text = ReadFileText(output.Path());
    return out;
}

bool RegQueryValue(const std::string& key, const std::string& name, RegValue* value)
{
    RegOutput out = RunReg("query \"" + key + "\" /v \"" + name + "\"");
    if (!out.bRan || out.dwExitCode != 0)
        return false;
    std::istringstream lines(out.text);
    std::string line;
    const std::string lead = kRegSeparator + name + kRegSeparator;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, lead.size(), lead) != 0)
            continue;
        std::string rest = line.substr(lead.size());
        size_t sep = rest.find(kRegSeparator);
        value->type = rest.substr(0, sep);
        value->data = sep == std::string::npos ? "" : rest.substr(sep + 4);
        return true;
    }
    return false;
}

bool RegKeyExists(const std::string& key)
{
    RegOutput out = RunReg("query \"" + key + "\"");
    return out.bRan && out.dwExitCode == 0;
}

// ---------------------------------------------------------------- CountingRegistry

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
    self.m_keyCalls.push_back(
        {KeyCall::kOpen, hKey, pszName ? pszName : "", 0, false, dwOptions, access, false});
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
    self.m_keyCalls.push_back({KeyCall::kCreate, hKey, pszName ? pszName : "", dwReserved,
                               pszClass != nullptr, dwOptions, access, pSecurity != nullptr});
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

// ---------------------------------------------------------------- application

void ForgetRegistryKey()
{
    // The framework keeps both names as heap copies of its own.
    CWinApp* pApp = AfxGetApp();
    std::free(const_cast<char*>(pApp->m_pszRegistryKey));
    std::free(const_cast<char*>(pApp->m_pszProfileName));
    pApp->m_pszRegistryKey = nullptr;
    pApp->m_pszProfileName = nullptr;
}

bool PutRawValue(HKEY hRoot, const std::string& key, const std::string& name, DWORD dwType,
                 const void* pData, DWORD cbData)
{
    HKEY h = nullptr;
    if (RegCreateKeyExA(hRoot, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &h, nullptr) != ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExA(h, name.c_str(), 0, dwType, static_cast<const BYTE*>(pData), cbData);
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

long RawValueSize(HKEY hRoot, const std::string& key, const std::string& name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(hRoot, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return -1;
    DWORD size = 0;
    LONG r = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, &size);
    RegCloseKey(h);
    return r == ERROR_SUCCESS ? long(size) : -1;
}

} // namespace settings_test
