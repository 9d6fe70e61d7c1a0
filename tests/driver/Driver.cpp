#include "Driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace driver {

namespace {

constexpr int kTerminateWaitMs = 5000;
constexpr size_t kMaxTopLevelWindows = 100000;
constexpr UINT kSettleTimeoutMs = 1000;
// A launch refused by Wine is tried this many times in all, this far apart.
constexpr int kLaunchTries = 3;
constexpr int kLaunchRetryPauseMs = 200;

bool ContainsText(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

bool Matches(HWND hwnd, const char* caption, bool exactCaption, const char* className, DWORD pid)
{
    if (pid != 0 && WindowPid(hwnd) != pid) {
        return false;
    }
    if (className != nullptr && ClassName(hwnd) != className) {
        return false;
    }
    if (caption != nullptr) {
        const std::string text = Caption(hwnd);
        return exactCaption ? text == caption : ContainsText(text, caption);
    }
    return true;
}

HWND FindMatching(const char* caption, bool exactCaption, const char* className, DWORD pid)
{
    for (HWND hwnd : TopLevelWindows(true)) {
        if (Matches(hwnd, caption, exactCaption, className, pid)) {
            return hwnd;
        }
    }
    return nullptr;
}

HWND WaitForMatching(const char* caption, bool exactCaption, const char* className, DWORD pid,
                     int timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindMatching(caption, exactCaption, className, pid);
            return found != nullptr;
        },
        timeoutMs);
    if (found != nullptr) {
        SendBounded(found, WM_NULL, 0, 0, nullptr, kSettleTimeoutMs);
    }
    return found;
}

bool IsOwnedBy(HWND hwnd, HWND owner)
{
    for (HWND w = GetWindow(hwnd, GW_OWNER); w != nullptr; w = GetWindow(w, GW_OWNER)) {
        if (w == owner) {
            return true;
        }
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------- paths/env

std::string FromUnixPath(const std::string& path)
{
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string Env(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

std::string TiermoExe() { return FromUnixPath(Env("TIERMO_EXE", "Tiermo.exe")); }

std::string HungWindowExe()
{
    return FromUnixPath(Env("TIERMO_HUNG_WINDOW_EXE", "tiermo_hung_window.exe"));
}

// ---------------------------------------------------------------- processes

Process::~Process()
{
    Terminate();
    Release();
}

Process::Process(Process&& other) noexcept : process_(other.process_), pid_(other.pid_)
{
    other.process_ = nullptr;
    other.pid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        Terminate();
        Release();
        process_ = other.process_;
        pid_ = other.pid_;
        other.process_ = nullptr;
        other.pid_ = 0;
    }
    return *this;
}

// Under Wine 8 here, a CreateProcess call now and then fails although the
// program is there: once in about 350 test sessions of a version_run_test
// loop, on the second launch of a fresh Wine session. The failure comes
// before any code of the new program runs, so trying again hides no fault of
// the program under test.
bool CreateProcessRetrying(const char* application, char* commandLine, BOOL inheritHandles,
                           DWORD flags, STARTUPINFOA* startup, PROCESS_INFORMATION* info)
{
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessA(application, commandLine, nullptr, nullptr, inheritHandles, flags,
                             nullptr, nullptr, startup, info))
            return true;
        const DWORD error = ::GetLastError();
        fprintf(stderr, "driver: CreateProcess of %s failed with error %lu (try %d of %d)\n",
                application ? application : commandLine, error, attempt, kLaunchTries);
        fflush(stderr);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            attempt == kLaunchTries) {
            ::SetLastError(error);
            return false;
        }
        Pause(kLaunchRetryPauseMs);
    }
}

bool Process::Launch(const std::string& exePath, const std::string& args)
{
    Terminate();
    Release();
    const std::string exe = FromUnixPath(exePath);
    std::string commandLine = "\"" + exe + "\"";
    if (!args.empty()) {
        commandLine += " " + args;
    }
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessRetrying(exe.c_str(), buffer.data(), FALSE, 0, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    return true;
}

bool Process::IsRunning() const
{
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(int timeoutMs)
{
    return process_ != nullptr &&
           WaitForSingleObject(process_, static_cast<DWORD>(std::max(timeoutMs, 0))) ==
               WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_ == nullptr || !GetExitCodeProcess(process_, &code)) {
        return STILL_ACTIVE;
    }
    return code;
}

void Process::Terminate(UINT exitCode)
{
    if (IsRunning()) {
        TerminateProcess(process_, exitCode);
        WaitForSingleObject(process_, kTerminateWaitMs);
    }
}

bool Process::WaitForIdle(int timeoutMs)
{
    return process_ != nullptr &&
           WaitForInputIdle(process_, static_cast<DWORD>(std::max(timeoutMs, 0))) == 0;
}

void Process::Release()
{
    if (process_ != nullptr) {
        CloseHandle(process_);
        process_ = nullptr;
    }
    pid_ = 0;
}

// ---------------------------------------------------------------- waiting

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs, int pollMs)
{
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (;;) {
        if (cond()) {
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        Pause(static_cast<int>(std::min<ULONGLONG>(std::max(pollMs, 1), deadline - now)));
    }
}

void Pause(int ms)
{
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(ms, 0));
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
    }
}

// ---------------------------------------------------------------- windows

HWND FindTopLevel(const char* caption, const char* className, DWORD pid)
{
    return FindMatching(caption, true, className, pid);
}

HWND WaitForWindow(const char* caption, const char* className, DWORD pid, int timeoutMs)
{
    return WaitForMatching(caption, true, className, pid, timeoutMs);
}

HWND WaitForWindowContaining(const char* captionPart, const char* className, DWORD pid,
                             int timeoutMs)
{
    return WaitForMatching(captionPart, false, className, pid, timeoutMs);
}

bool WaitForWindowGone(HWND hwnd, int timeoutMs)
{
    return WaitUntil([hwnd] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }, timeoutMs);
}

bool WaitForInputHandled(HWND hwnd, int timeoutMs)
{
    if (!RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE)) {
        return false;
    }
    return WaitUntil([hwnd] { return !GetUpdateRect(hwnd, nullptr, FALSE); }, timeoutMs);
}

std::string Caption(HWND hwnd)
{
    char buffer[512] = "";
    const int length = GetWindowTextA(hwnd, buffer, sizeof(buffer));
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string GetText(HWND hwnd)
{
    // The wide forms: under Wine the ANSI ones ignore the timeout for these messages.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             kSendTimeoutMs, &length) ||
        length == 0) {
        return "";
    }
    std::vector<wchar_t> wide(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(wide.data()),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &copied)) {
        return "";
    }
    const int count = static_cast<int>(std::min<DWORD_PTR>(copied, wide.size() - 1));
    const int size =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(std::max(size, 0)), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.data(), count, text.data(), size, nullptr, nullptr);
    }
    return text;
}

std::string ClassName(HWND hwnd)
{
    char buffer[256] = "";
    const int length = GetClassNameA(hwnd, buffer, sizeof(buffer));
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

LONG_PTR Style(HWND hwnd) { return GetWindowLongPtrA(hwnd, GWL_STYLE); }

LONG_PTR ExStyle(HWND hwnd) { return GetWindowLongPtrA(hwnd, GWL_EXSTYLE); }

bool IsTopmost(HWND hwnd) { return (ExStyle(hwnd) & WS_EX_TOPMOST) != 0; }

DWORD WindowPid(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

RECT WindowRect(HWND hwnd)
{
    RECT rect{};
    if (!GetWindowRect(hwnd, &rect)) {
        rect = RECT{};
    }
    return rect;
}

RECT ControlRect(HWND dlg, int id)
{
    HWND control = ChildAtId(dlg, id);
    return control != nullptr ? WindowRect(control) : RECT{};
}

HWND ChildAtId(HWND parent, int id) { return GetDlgItem(parent, id); }

POINT Center(const RECT& rect)
{
    return POINT{rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2};
}

HWND RootOwner(HWND hwnd) { return GetAncestor(hwnd, GA_ROOTOWNER); }

bool SendBounded(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result, UINT timeoutMs)
{
    DWORD_PTR value = 0;
    const LRESULT ok = SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                           timeoutMs, &value);
    if (result != nullptr) {
        *result = static_cast<LRESULT>(value);
    }
    return ok != 0;
}

bool PostClose(HWND hwnd) { return PostMessageA(hwnd, WM_CLOSE, 0, 0) != 0; }

// ---------------------------------------------------------------- Z-order

std::vector<HWND> TopLevelWindows(bool visibleOnly)
{
    std::vector<HWND> windows;
    for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr && windows.size() < kMaxTopLevelWindows;
         hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        if (!visibleOnly || IsWindowVisible(hwnd)) {
            windows.push_back(hwnd);
        }
    }
    return windows;
}

bool IsAbove(HWND a, HWND b)
{
    const std::vector<HWND> windows = TopLevelWindows(false);
    const auto posA = std::find(windows.begin(), windows.end(), a);
    const auto posB = std::find(windows.begin(), windows.end(), b);
    return posA != windows.end() && posB != windows.end() && posA < posB;
}

bool IsBottomMostVisible(HWND hwnd)
{
    const std::vector<HWND> windows = TopLevelWindows(true);
    return !windows.empty() && windows.back() == hwnd;
}

bool IsTopOfBand(HWND hwnd)
{
    if (!IsWindowVisible(hwnd)) {
        return false;
    }
    const bool topmost = IsTopmost(hwnd);
    for (HWND other : TopLevelWindows(true)) {
        if (other == hwnd) {
            return true;
        }
        if (IsTopmost(other) == topmost && !IsOwnedBy(other, hwnd)) {
            return false;
        }
    }
    return false;
}

std::string DescribeWindows()
{
    std::string text;
    for (HWND hwnd : TopLevelWindows(true)) {
        const RECT r = WindowRect(hwnd);
        char line[160];
        snprintf(line, sizeof(line), "%p pid %lu (%ld,%ld)-(%ld,%ld)%s%s [",
                 static_cast<void*>(hwnd), WindowPid(hwnd), r.left, r.top, r.right, r.bottom,
                 IsTopmost(hwnd) ? " topmost" : "",
                 GetForegroundWindow() == hwnd ? " foreground" : "");
        text += line + ClassName(hwnd) + "] \"" + Caption(hwnd) + "\"\n";
    }
    return text;
}

std::string DescribeState(const Process& process)
{
    if (process.Handle() == nullptr)
        return "not started";
    if (process.IsRunning())
        return "still running";
    char text[64];
    snprintf(text, sizeof(text), "ended with exit code 0x%08lX", process.ExitCode());
    return text;
}

} // namespace driver
