// The real program under the Wine virtual desktop, driven from outside: how it
// opens, how it ends, which system commands it refuses, its buttons, the
// Windows versions it runs on and its refusal to run on Windows 3.1.
#include "tests/support/tiermo_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using tiermo_test::TiermoSession;

using tiermo_test::kSettleMs;

constexpr const char* kAppDefaultsKey = "Software\\Wine\\AppDefaults\\Tiermo.exe";
constexpr const char* kUnsupportedText =
    "This application only runs under Windows 95 and Windows NT.";

RECT WorkArea()
{
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// A screen point of the dialog's caption where the system reports hit, or
// {-1, -1}. Searched with WM_NCHITTEST along the middle of the caption.
POINT CaptionPointWithHit(HWND dlg, LRESULT hit)
{
    const RECT r = driver::WindowRect(dlg);
    const int y = r.top + ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION) / 2;
    for (int x = r.right - 2; x > r.left; --x) {
        LRESULT got = 0;
        if (driver::SendBounded(dlg, WM_NCHITTEST, 0, MAKELPARAM(x, y), &got) && got == hit)
            return POINT{x, y};
    }
    return POINT{-1, -1};
}

TEST(AppWindow, OpensCentredOnTheWorkAreaNotTopmostWithItsOwnTaskBarButton)
{
    for (int run = 0; run < 2; ++run) {
        TiermoSession tiermo;
        ASSERT_TRUE(tiermo.Start());
        const HWND dlg = tiermo.Dialog();
        const RECT r = driver::WindowRect(dlg);
        const RECT work = WorkArea();
        EXPECT_LE(std::abs((r.left + r.right) - (work.left + work.right)), 2) << run;
        EXPECT_LE(std::abs((r.top + r.bottom) - (work.top + work.bottom)), 2) << run;
        EXPECT_FALSE(driver::IsTopmost(dlg));
        EXPECT_TRUE(driver::ExStyle(dlg) & WS_EX_APPWINDOW);
        EXPECT_EQ(::GetWindow(dlg, GW_OWNER), nullptr);
        EXPECT_FALSE(driver::Style(dlg) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
        for (int id : {IDC_TOP, IDC_BOTTOM, IDC_NORMAL, IDOK, IDC_CMD_HELP, IDC_CMD_APP_ABOUT})
            EXPECT_TRUE(::IsWindowVisible(tiermo.Item(id))) << id;

        // Moved away, it still opens centred the next time.
        ::SetWindowPos(dlg, nullptr, 5, 5, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        EXPECT_TRUE(driver::WaitUntil([&] { return driver::WindowRect(dlg).left == 5; }, 2000));
        ASSERT_TRUE(::PostMessageA(dlg, WM_COMMAND, IDOK, 0));
        EXPECT_TRUE(tiermo.EndedNormally());
    }
}

TEST(AppWindow, CloseButtonEnterEscCloseBoxAndSystemMenuCloseEachEndTheProgram)
{
    const char* const ways[] = {"&Close", "Enter", "Esc", "close box", "system menu Close"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        TiermoSession tiermo;
        ASSERT_TRUE(tiermo.Start());
        const HWND dlg = tiermo.Dialog();
        const std::string name = way;
        if (name == "&Close") {
            ASSERT_TRUE(driver::ClickAt(tiermo.CenterOf(IDOK)));
        } else if (name == "Enter" || name == "Esc") {
            ASSERT_TRUE(driver::Activate(dlg));
            driver::PressKey(name == "Enter" ? VK_RETURN : VK_ESCAPE);
        } else if (name == "close box") {
            const POINT box = CaptionPointWithHit(dlg, HTCLOSE);
            ASSERT_GE(box.x, 0);
            ASSERT_TRUE(driver::ClickAt(box));
        } else {
            ASSERT_TRUE(::PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0));
        }
        EXPECT_TRUE(tiermo.EndedNormally()) << tiermo.Process().ExitCode();
        EXPECT_TRUE(driver::WaitForWindowGone(dlg, 1000));
    }
}

TEST(AppWindow, SizeAndMaximizeCommandsChangeNothingMinimizeAndRestoreWork)
{
    TiermoSession tiermo;
    ASSERT_TRUE(tiermo.Start());
    const HWND dlg = tiermo.Dialog();
    const RECT before = driver::WindowRect(dlg);

    ASSERT_TRUE(::PostMessageA(dlg, WM_SYSCOMMAND, SC_MAXIMIZE, 0));
    ASSERT_TRUE(driver::SendBounded(dlg, WM_NULL, 0, 0));
    EXPECT_FALSE(::IsZoomed(dlg));
    ASSERT_TRUE(::PostMessageA(dlg, WM_SYSCOMMAND, SC_SIZE, 0));
    driver::Pause(kSettleMs);
    // No sizing loop runs; had one started, it would follow the pointer.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(dlg, nullptr), &gui));
    EXPECT_EQ(gui.flags & GUI_INMOVESIZE, 0u);
    const RECT r = driver::WindowRect(dlg);
    driver::MoveTo(r.right + 40, r.bottom + 40);
    driver::Pause(kSettleMs);
    const RECT after = driver::WindowRect(dlg);
    EXPECT_TRUE(::EqualRect(&before, &after));
    if (gui.flags & GUI_INMOVESIZE)
        driver::PressKey(VK_ESCAPE);

    ASSERT_TRUE(::PostMessageA(dlg, WM_SYSCOMMAND, SC_MINIMIZE, 0));
    EXPECT_TRUE(driver::WaitUntil([&] { return ::IsIconic(dlg) != FALSE; }, 3000));
    ASSERT_TRUE(::PostMessageA(dlg, WM_SYSCOMMAND, SC_RESTORE, 0));
    EXPECT_TRUE(driver::WaitUntil([&] { return !::IsIconic(dlg); }, 3000));
    EXPECT_TRUE(driver::WaitUntil(
        [&] {
            const RECT now = driver::WindowRect(dlg);
            return ::EqualRect(&before, &now) != FALSE;
        },
        3000));

    ASSERT_TRUE(::PostMessageA(dlg, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(tiermo.EndedNormally());
}

TEST(AppWindow, HelpAndAboutButtonsOpenTheirWindowsOverTheDialog)
{
    TiermoSession tiermo;
    ASSERT_TRUE(tiermo.Start());
    const HWND dlg = tiermo.Dialog();
    const DWORD pid = tiermo.Process().Pid();

    ASSERT_TRUE(driver::ClickAt(tiermo.CenterOf(IDC_CMD_APP_ABOUT)));
    HWND about = driver::WaitForWindow("About Tiermo", tiermo_test::kDialogClass, pid);
    ASSERT_NE(about, nullptr) << driver::DescribeWindows();
    EXPECT_EQ(::GetWindow(about, GW_OWNER), dlg);
    EXPECT_FALSE(::IsWindowEnabled(dlg));
    ASSERT_TRUE(::PostMessageA(about, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(driver::WaitForWindowGone(about, 3000));
    EXPECT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(dlg) != FALSE; }, 3000));

    ASSERT_TRUE(driver::ClickAt(tiermo.CenterOf(IDC_CMD_HELP)));
    HWND help = driver::WaitForWindow("Tiermo Help", tiermo_test::kDialogClass, pid);
    ASSERT_NE(help, nullptr) << driver::DescribeWindows();
    ASSERT_TRUE(::PostMessageA(help, WM_COMMAND, IDCANCEL, 0));
    EXPECT_TRUE(driver::WaitForWindowGone(help, 3000));

    EXPECT_TRUE(tiermo.Process().IsRunning());
    EXPECT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(dlg) != FALSE; }, 3000));
    ASSERT_TRUE(::PostMessageA(dlg, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(tiermo.EndedNormally());
}

// Pixels of the box's icon that are clearly red: the stop sign is red, the
// other message-box icons are blue or yellow.
size_t RedPixels(const std::vector<COLORREF>& pixels)
{
    size_t n = 0;
    for (COLORREF c : pixels)
        if (GetRValue(c) > 160 && GetGValue(c) < 90 && GetBValue(c) < 90)
            ++n;
    return n;
}

// The Windows versions Wine can report that each build runs on.
#ifdef _WIN64
constexpr const char* kRunsOn[] = {"winxp64", "win7", "win10"};
#else
constexpr const char* kRunsOn[] = {"win95", "win98", "nt40", "win2k", "winxp", "win7", "win10"};
#endif
constexpr RECT kNotepadPlace{10, 10, 10 + 330, 10 + 260};

// Makes Wine report `version` to Tiermo.exe while it lives.
struct ReportedVersion {
    explicit ReportedVersion(const char* version)
        : ok(driver::WriteString(HKEY_CURRENT_USER, kAppDefaultsKey, "Version", version))
    {
    }
    ~ReportedVersion() { driver::DeleteTree(HKEY_CURRENT_USER, kAppDefaultsKey); }
    const bool ok;
};

// Each version: the first run stores the version record and opens the About
// box by itself, "Top" on notepad makes it topmost, and the next run reads the
// record back and opens no About box.
TEST(AppStart, RunsOnEveryWindowsItNames)
{
    driver::Process notepad;
    const HWND hNotepad = driver::StartNotepad(notepad, kNotepadPlace);
    ASSERT_NE(hNotepad, nullptr);
    const POINT onNotepad = driver::Center(driver::WindowRect(hNotepad));
    for (const char* version : kRunsOn) {
        SCOPED_TRACE(version);
        ReportedVersion reported(version);
        ASSERT_TRUE(reported.ok);
        ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, TIERMO_COMPANY_KEY));
        for (bool bFirstRun : {true, false}) {
            driver::Process tiermo;
            ASSERT_TRUE(tiermo.Launch(driver::TiermoExe()));
            HWND dlg = nullptr;
            ASSERT_TRUE(driver::WaitUntil(
                [&] { return (dlg = tiermo_test::FindMainDialog(tiermo.Pid())) != nullptr; },
                tiermo_test::kStartMs))
                << driver::DescribeState(tiermo);
            HWND about = driver::WaitForWindow("About Tiermo", tiermo_test::kDialogClass,
                                               tiermo.Pid(), bFirstRun ? 5000 : 1000);
            DWORD stored = 0;
            EXPECT_TRUE(driver::ReadDword(HKEY_LOCAL_MACHINE, tiermo_test::kVersionKey,
                                          tiermo_test::kVersionValue, &stored));
            EXPECT_EQ(stored, tiermo_test::kCurrentVersion);
            if (!bFirstRun) {
                EXPECT_EQ(about, nullptr) << "the record was not read back";
                ASSERT_TRUE(::PostMessageA(dlg, WM_COMMAND, IDOK, 0));
                EXPECT_TRUE(tiermo.WaitForExit(tiermo_test::kExitMs));
                continue;
            }
            ASSERT_NE(about, nullptr) << driver::DescribeWindows();
            ASSERT_TRUE(::PostMessageA(about, WM_COMMAND, IDOK, 0));
            ASSERT_TRUE(driver::WaitForWindowGone(about, 3000));
            ASSERT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(dlg) != FALSE; }, 3000));

            const POINT icon = driver::Center(driver::ControlRect(dlg, IDC_TOP));
            ASSERT_TRUE(driver::CarefulDrag(icon, onNotepad, {6, 40, kSettleMs}));
            EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(hNotepad); }, 3000));
            ::SetWindowPos(hNotepad, HWND_NOTOPMOST, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            ASSERT_TRUE(::PostMessageA(dlg, WM_COMMAND, IDOK, 0));
            EXPECT_TRUE(tiermo.WaitForExit(tiermo_test::kExitMs));
            EXPECT_EQ(tiermo.ExitCode(), 0u);
        }
    }
}

TEST(AppStart, RefusesToRunUnderWindows31)
{
    ReportedVersion reported("win31");
    ASSERT_TRUE(reported.ok);
    ASSERT_TRUE(driver::DeleteTree(HKEY_LOCAL_MACHINE, TIERMO_COMPANY_KEY));

    driver::Process tiermo;
    ASSERT_TRUE(tiermo.Launch(driver::TiermoExe()));
    HWND box = driver::WaitForWindow(tiermo_test::kCaption, tiermo_test::kDialogClass, tiermo.Pid(),
                                     tiermo_test::kStartMs);
    ASSERT_NE(box, nullptr) << driver::DescribeWindows();
    EXPECT_EQ(tiermo_test::FindMainDialog(tiermo.Pid()), nullptr);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), nullptr);

    std::string text;
    HWND icon = nullptr;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (driver::ClassName(child) != "Static")
            continue;
        if (driver::Style(child) & SS_ICON)
            icon = child;
        else if (!driver::GetText(child).empty())
            text = driver::GetText(child);
    }
    EXPECT_EQ(text, kUnsupportedText);
    ASSERT_NE(icon, nullptr);
    // The box is found as soon as it exists; its icon is painted after.
    EXPECT_TRUE(driver::WaitUntil(
        [&] { return RedPixels(driver::CaptureRect(driver::WindowRect(icon))) > 100u; },
        tiermo_test::kStartMs));
    EXPECT_EQ(::GetDlgItem(box, IDCANCEL), nullptr); // OK only

    ASSERT_TRUE(driver::ClickButton(box, IDOK));
    EXPECT_TRUE(tiermo.WaitForExit(tiermo_test::kExitMs));
    EXPECT_EQ(tiermo.ExitCode(), 0u);
    EXPECT_FALSE(driver::KeyExists(HKEY_LOCAL_MACHINE, TIERMO_COMPANY_KEY))
        << "nothing is written on a refused start";
}

} // namespace
