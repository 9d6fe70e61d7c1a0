// Running out of memory on the real code: the global allocation functions
// are replaced so that the N-th allocation of the user-interface thread from
// a chosen moment fails, and each path is run with N = 1, 2, 3, ... until a
// run completes without reaching the failure:
//   start-up up to the main dialog, one drop onto a window, opening Help,
//   opening About.
// Every run must end with the start-up message, or with "Out of memory." and
// the program still working; none may crash, hang, or leave a window, a
// registry key or another handle behind. A helper thread answers the message
// boxes and closes the Help window and the About box.
#include "app/TiermoApp.h"
#include "resource.h"

#include "Driver.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Allocation with one injected failure

namespace {

DWORD g_armedThread = 0; // thread whose allocations are counted; 0: none
long g_nFailAt = 0;      // 1-based allocation to fail; 0: count only
long g_nCount = 0;
bool g_bInjected = false;
int g_nPaused = 0; // test code on the armed thread does not count

void* Allocate(size_t n, bool bNoThrow)
{
    if (g_armedThread && g_nPaused == 0 && ::GetCurrentThreadId() == g_armedThread &&
        ++g_nCount == g_nFailAt) {
        g_bInjected = true;
        if (bNoThrow)
            return nullptr;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(n ? n : 1))
        return p;
    if (bNoThrow)
        return nullptr;
    throw std::bad_alloc();
}

} // namespace

// The allocation functions come in pairs of our own, all on malloc and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) { return Allocate(n, false); }
void* operator new[](size_t n) { return Allocate(n, false); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Allocate(n, true); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Allocate(n, true); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

CTiermoApp theApp;

// Counts the allocations of this thread while it lives; fails the nFailAt-th.
class ArmedScope {
public:
    explicit ArmedScope(long nFailAt)
    {
        g_nCount = 0;
        g_bInjected = false;
        g_nFailAt = nFailAt;
        g_armedThread = ::GetCurrentThreadId();
    }
    ~ArmedScope() { g_armedThread = 0; }
    ArmedScope(const ArmedScope&) = delete;
    ArmedScope& operator=(const ArmedScope&) = delete;
};

struct PausedScope {
    PausedScope() { ++g_nPaused; }
    ~PausedScope() { --g_nPaused; }
    PausedScope(const PausedScope&) = delete;
    PausedScope& operator=(const PausedScope&) = delete;
};
// The code under test, called from paused test code.
struct CountedScope {
    CountedScope() { --g_nPaused; }
    ~CountedScope() { ++g_nPaused; }
    CountedScope(const CountedScope&) = delete;
    CountedScope& operator=(const CountedScope&) = delete;
};

constexpr const char* kOutOfMemory = "Out of memory.";
constexpr int kRunMs = 8000;    // one run; longer is a hang
constexpr int kMaxPoints = 400; // more allocation points than any path has
constexpr UINT kRobotTickMs = 15;

class CLock {
public:
    CLock() { ::InitializeCriticalSection(&m_cs); }
    ~CLock() { ::DeleteCriticalSection(&m_cs); }
    void Enter() { ::EnterCriticalSection(&m_cs); }
    void Leave() { ::LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};
CLock g_lock;
struct Locked {
    Locked() { g_lock.Enter(); }
    ~Locked() { g_lock.Leave(); }
};

// What the helper thread saw during one run.
struct Seen {
    std::vector<std::string> messages;
    int nHelpOpened = 0;
    int nAboutOpened = 0;
    bool bDisclaimerEmpty = false;
};
Seen g_seen;
DWORD g_uiThread = 0;
volatile LONG g_bStopHelper = 0;

// A window's text as stored, without a message to its thread.
std::string Text(HWND h)
{
    WCHAR wide[512] = {};
    ::InternalGetWindowText(h, wide, 511);
    char buf[1024] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf - 1, nullptr, nullptr);
    return buf;
}

bool IsDialog(HWND h) { return driver::ClassName(h) == "#32770"; }
bool IsMain(HWND h) { return IsDialog(h) && ::GetDlgItem(h, IDC_TOP); }
bool IsAbout(HWND h) { return IsDialog(h) && ::GetDlgItem(h, IDC_ABOUT_TEXT); }
// The Help window's text box has the identifier of the About box's first text.
bool IsHelp(HWND h)
{
    return IsDialog(h) && !IsMain(h) && !IsAbout(h) && ::GetDlgItem(h, IDC_HELP_TEXT);
}
bool IsMessageBox(HWND h) { return IsDialog(h) && !IsMain(h) && !IsAbout(h) && !IsHelp(h); }

// The longest static text of a message box: its message.
std::string MessageOf(HWND hBox)
{
    std::string best;
    for (HWND c = ::GetWindow(hBox, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (driver::ClassName(c) != "Static")
            continue;
        std::string t = Text(c);
        if (t.size() > best.size())
            best = t;
    }
    return best;
}

std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> found;
    ::EnumThreadWindows(
        g_uiThread,
        [](HWND h, LPARAM l) CALLBACK -> BOOL {
            if (IsDialog(h))
                reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Answers message boxes (noting their text) and closes the Help window and
// the About box once they are up, never the main dialog.
DWORD WINAPI HelperThread(LPVOID)
{
    std::vector<HWND> answered;
    while (!g_bStopHelper) {
        ::Sleep(10);
        std::erase_if(answered, [](HWND h) { return !::IsWindow(h); });
        bool bBox = false;
        for (HWND h : ThreadDialogs()) {
            if (!IsMessageBox(h) || !::IsWindowVisible(h))
                continue;
            bBox = true;
            bool bDone = false;
            for (HWND a : answered)
                bDone = bDone || a == h;
            if (bDone)
                continue;
            std::string text = MessageOf(h);
            if (text.empty())
                continue; // not filled in yet
            answered.push_back(h);
            {
                Locked lock;
                g_seen.messages.push_back(text);
            }
            ::PostMessageA(h, WM_COMMAND, IDOK, 0);
        }
        if (bBox)
            continue;
        for (HWND h : ThreadDialogs()) {
            if (!(IsHelp(h) || IsAbout(h)) || !::IsWindowVisible(h) || !::IsWindowEnabled(h))
                continue;
            {
                Locked lock;
                if (IsHelp(h)) {
                    ++g_seen.nHelpOpened;
                } else {
                    ++g_seen.nAboutOpened;
                    g_seen.bDisclaimerEmpty = Text(::GetDlgItem(h, IDC_ABOUT_TEXT)).empty();
                }
            }
            ::PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
            // Wait for it to go before looking again.
            driver::WaitUntil([&] { return !::IsWindow(h) || !::IsWindowVisible(h); }, 2000, 5);
        }
    }
    return 0;
}

Seen TakeSeen()
{
    Locked lock;
    Seen s = g_seen;
    g_seen = Seen();
    return s;
}

// Handles that a run must give back.
struct HandleCounts {
    DWORD kernel = 0;
    DWORD gdi = 0;
    DWORD user = 0;
    static HandleCounts Now()
    {
        HandleCounts c;
        ::GetProcessHandleCount(::GetCurrentProcess(), &c.kernel);
        c.gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
        c.user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
        return c;
    }
    bool operator==(const HandleCounts& o) const
    {
        return kernel == o.kernel && gdi == o.gdi && user == o.user;
    }
};
std::ostream& operator<<(std::ostream& os, const HandleCounts& c)
{
    return os << c.kernel << " kernel, " << c.gdi << " GDI, " << c.user << " USER";
}

// ---------------------------------------------------------------------------
// The robot: a thread timer on the user-interface thread. Once the main
// dialog runs, it carries out the path's action with the failure armed (the
// start-up path is armed around the whole start), then closes the dialog.

enum class Path { StartUp, Drop, Help, About };

// One run of a path.
struct PathRun {
    Path path = Path::StartUp;
    long nFailAt = 0;
    HWND hTarget = nullptr; // drop target
    DWORD dwStart = 0;
    bool bActed = false;
    bool bInjected = false;
    long nCounted = 0;
    bool bWorksAfter = false; // the main dialog still took input after the action
    bool bCarriedOut = false; // the drop was made, or the box opened
    Seen seen;
};
PathRun g_run;
bool g_bBusy = false;

HWND FindMain()
{
    for (HWND h : ThreadDialogs())
        if (IsMain(h))
            return h;
    return nullptr;
}

// The main dialog runs and takes input, with no box over it and no drag left.
bool MainWorks(HWND hMain)
{
    if (!hMain || !::IsWindowVisible(hMain) || !::IsWindowEnabled(hMain) ||
        !CWnd::FromHandlePermanent(hMain) || ::GetCapture())
        return false;
    for (HWND h : ThreadDialogs())
        if (h != hMain)
            return false;
    HWND hIcon = ::GetDlgItem(hMain, IDC_TOP);
    return HICON(::SendMessageA(hIcon, STM_GETICON, 0, 0)) ==
           ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_POSITION));
}

LPARAM ClientPoint(HWND h, POINT pt)
{
    ::ScreenToClient(h, &pt);
    return MAKELPARAM(short(pt.x), short(pt.y));
}

void Act(HWND hMain)
{
    HWND hIcon = ::GetDlgItem(hMain, IDC_TOP);
    const POINT pt = driver::Center(driver::WindowRect(g_run.hTarget));
    TakeSeen();
    {
        CountedScope counted;
        ArmedScope armed(g_run.nFailAt);
        switch (g_run.path) {
        case Path::Drop:
            ::SendMessageA(hIcon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
            ::SendMessageA(hIcon, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(hIcon, pt));
            ::SendMessageA(hIcon, WM_LBUTTONUP, 0, ClientPoint(hIcon, pt));
            break;
        case Path::Help:
            ::SendMessageA(hMain, WM_COMMAND, ID_HELP, 0);
            break;
        default:
            ::SendMessageA(hMain, WM_COMMAND, ID_APP_ABOUT, 0);
            break;
        }
        g_run.bInjected = g_bInjected;
        g_run.nCounted = g_nCount;
    }
    // Time for the helper to see the last box or window go.
    driver::WaitUntil([&] { return MainWorks(hMain); }, 2000, 10);
    g_run.bWorksAfter = MainWorks(hMain);
    g_run.seen = TakeSeen();
    if (g_run.path == Path::Drop)
        g_run.bCarriedOut = driver::IsTopmost(g_run.hTarget);
    else
        g_run.bCarriedOut =
            (g_run.path == Path::Help ? g_run.seen.nHelpOpened : g_run.seen.nAboutOpened) == 1;
    g_run.bActed = true;
}

void CALLBACK RobotTick(HWND, UINT, UINT_PTR, DWORD)
{
    PausedScope paused;
    if (g_bBusy)
        return;
    g_bBusy = true;
    HWND hMain = FindMain();
    if (::GetTickCount() - g_run.dwStart > DWORD(kRunMs)) {
        ADD_FAILURE() << "the run did not end";
        g_run.dwStart = ::GetTickCount();
        for (HWND h : ThreadDialogs())
            ::PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
    } else if (MainWorks(hMain)) {
        if (g_run.path != Path::StartUp && !g_run.bActed)
            Act(hMain);
        ::PostMessageA(hMain, WM_COMMAND, IDCANCEL, 0);
    }
    g_bBusy = false;
}

class AllocFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_uiThread = ::GetCurrentThreadId();
        ASSERT_TRUE(driver::WriteDword(HKEY_LOCAL_MACHINE, kVersionKeyPath, kVersionEntry,
                                       kProgramVersion));
        m_hHelper = ::CreateThread(nullptr, 0, &HelperThread, nullptr, 0, nullptr);
        ASSERT_TRUE(m_hHelper);
        m_timer = ::SetTimer(nullptr, 0, kRobotTickMs, &RobotTick);
        ASSERT_NE(0u, m_timer);

        WNDCLASSA wc = {};
        wc.lpfnWndProc = &::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kTargetClass;
        ::RegisterClassA(&wc);
        m_hTarget =
            ::CreateWindowExA(0, kTargetClass, "Drop target", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                              20, 20, 220, 140, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(m_hTarget);
    }
    void TearDown() override
    {
        ::KillTimer(nullptr, m_timer);
        ::InterlockedExchange(&g_bStopHelper, 1);
        if (m_hHelper) {
            ::WaitForSingleObject(m_hHelper, 5000);
            ::CloseHandle(m_hHelper);
        }
        ::InterlockedExchange(&g_bStopHelper, 0);
        if (m_hTarget)
            ::DestroyWindow(m_hTarget);
    }

    // Starts the program once with the nFailAt-th allocation of the path
    // failing (0: none) and runs it until the robot closes it.
    void RunOnce(Path path, long nFailAt)
    {
        ::SetWindowPos(m_hTarget, HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        g_run = PathRun();
        g_run.path = path;
        g_run.nFailAt = nFailAt;
        g_run.hTarget = m_hTarget;
        g_run.dwStart = ::GetTickCount();
        if (path == Path::StartUp) {
            ArmedScope armed(nFailAt);
            theApp.InitInstance();
            g_run.bInjected = g_bInjected;
            g_run.nCounted = g_nCount;
        } else {
            theApp.InitInstance();
        }
        // Time for the helper to see the last box go.
        driver::Pause(30);
        const Seen seen = TakeSeen();
        g_run.seen.messages.insert(g_run.seen.messages.end(), seen.messages.begin(),
                                   seen.messages.end());
    }

    // Runs the path with N = 1, 2, 3, ... until a run reaches no failure.
    void CoverPath(Path path)
    {
        // A start and a message box first, so that what the system keeps for
        // good after a first use is in the baseline of the handles. The
        // path's own first use stays for the runs below: the allocations
        // made only then, such as the window map growing for its first
        // box, are among the points.
        RunOnce(Path::StartUp, 0);
        AfxMessageBox("Warming up.");
        TakeSeen();
        const HandleCounts baseline = HandleCounts::Now();

        // The points: every allocation that a run with one failure reached.
        int nPoints = -1;
        for (long n = 1; n <= kMaxPoints && nPoints < 0; ++n) {
            settings_test::CountingRegistry reg;
            RunOnce(path, n);
            const PathRun& run = g_run;
            const std::vector<std::string>& messages = run.seen.messages;
            SCOPED_TRACE(::testing::Message() << "allocation " << n << " of " << run.nCounted);

            // Whatever happened, nothing is left behind.
            EXPECT_EQ(0u, reg.OpenHandles());
            EXPECT_TRUE(ThreadDialogs().empty());
            EXPECT_EQ(nullptr, AfxGetMainWnd());
            EXPECT_EQ(baseline, HandleCounts::Now());
            if (path != Path::StartUp) {
                EXPECT_TRUE(run.bActed);
                EXPECT_TRUE(run.bWorksAfter);
            }

            if (!run.bInjected) {
                // The whole path ran, did what it is for, and reported nothing.
                EXPECT_TRUE(messages.empty()) << messages.front();
                EXPECT_TRUE(path == Path::StartUp || run.bCarriedOut);
                nPoints = int(n - 1);
            } else if (path == Path::StartUp) {
                // The start-up message alone, or "Out of memory." from a
                // handler of the main dialog, which then ran and closed.
                ASSERT_EQ(1u, messages.size());
                EXPECT_TRUE(messages.front() == kMsgStartFailed || messages.front() == kOutOfMemory)
                    << messages.front();
            } else if (messages.empty()) {
                // Silent only where nothing can be shown: a box whose window
                // could not be attached, which never appears, or the About
                // box without its disclaimer.
                EXPECT_NE(Path::Drop, path);
                if (run.bCarriedOut) {
                    EXPECT_EQ(Path::About, path);
                    EXPECT_TRUE(run.seen.bDisclaimerEmpty);
                }
            } else {
                ASSERT_EQ(1u, messages.size());
                EXPECT_EQ(kOutOfMemory, messages.front());
            }
            if (HasFailure())
                break;
        }
        EXPECT_GT(nPoints, 0);
        std::printf("[alloc] %s: %d allocation points, each failed in its own run\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(), nPoints);
    }

    static constexpr const char* kTargetClass = "TiermoAllocDropTarget";
    static constexpr const char* kVersionKeyPath = "Software\\Kevra\\Tiermo\\CurrentVersion";
    HANDLE m_hHelper = nullptr;
    UINT_PTR m_timer = 0;
    HWND m_hTarget = nullptr;
};

TEST_F(AllocFailure, StartUpShowsItsMessageOrRunsAfterOutOfMemory) { CoverPath(Path::StartUp); }

TEST_F(AllocFailure, DropReportsOutOfMemoryOrIsCarriedOut) { CoverPath(Path::Drop); }

TEST_F(AllocFailure, HelpReportsOutOfMemoryOrOpens) { CoverPath(Path::Help); }

TEST_F(AllocFailure, AboutReportsOutOfMemoryOrOpens) { CoverPath(Path::About); }

} // namespace

CWinApp& settings_test::TestApp() { return theApp; }
