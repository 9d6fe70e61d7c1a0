// Wine's reg.exe as an independent reader and writer of the registry.
#include "Driver.h"

#include <cstdio>
#include <sstream>

namespace driver {

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
    if (!CreateProcessRetrying(nullptr, command.data(), TRUE, CREATE_NO_WINDOW, &si, &pi))
        return out;
    CHandle process(pi.hProcess);
    CHandle thread(pi.hThread);
    if (::WaitForSingleObject(pi.hProcess, kRegTimeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, kRegTimeoutMs);
        return out;
    }
    ::GetExitCodeProcess(pi.hProcess, &out.exitCode);
    out.text = ReadFileText(output.Path());
    return out;
}

bool RegQueryValue(const std::string& key, const std::string& name, RegValue* value)
{
    RegOutput out = RunReg("query \"" + key + "\" /v \"" + name + "\"");
    if (out.exitCode != 0)
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

std::string RegQueryText(const std::string& key, const std::string& name)
{
    RegValue value;
    return RegQueryValue(key, name, &value) ? value.type + " " + value.data : "";
}

bool RegKeyExists(const std::string& key) { return RunReg("query \"" + key + "\"").exitCode == 0; }

std::string RegDwordText(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

} // namespace driver
