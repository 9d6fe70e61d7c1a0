// Drops that the program does not choose: on a window that goes away between
// the hit test and the action, on the desktop, on the task bar, a release
// that another window got, and many quick drags in a row. Afterwards the
// program must still run, answer, hold no capture, show its icons at rest,
// carry out a drop, and keep the stored version.
#include "tests/support/tiermo_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using tiermo_test::kCurrentVersion;
using tiermo_test::kSettleMs;
using tiermo_test::kVersionKey;
using tiermo_test::kVersionValue;

constexpr const char* kVanishingExe = "tiermo_vanishing_window.exe";
constexpr const char* kVanishingCaption = "Tiermo Vanishing Window";
constexpr const char* kVanishingPopup = "Tiermo Vanishing Popup";
constexpr const char* kTrayClass = "Shell_TrayWnd";
constexpr int kWaitMs = 5000;
constexpr int kIcons[] = {IDC_TOP, IDC_BOTTOM, IDC_NORMAL};
// Where the windows go, apart from each other and from the task bar.
constexpr POINT kTiermoAt{40, 40};
constexpr RECT kNotepadRect{560, 60, 560 + 400, 60 + 280};
constexpr RECT kVanishingRect{600, 380, 600 + 300, 380 + 200};
constexpr POINT kBareDesktop{200, 560};
constexpr int kRapidDrags = 200;
// How long Tiermo may take to work through the queued drags: about 80 of
// them end in a drop with a flash of 100 ms; with both cores busy it took up
// to 12 s after the last was sent.
constexpr int kDrainMs = 30000;

// Shows Wine's task bar in the test's virtual desktop. Must run before the
// desktop exists, that is before this process asks for any window.
void EnableTaskBar()
{
    driver::WriteDword(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops\\Tiermo",
                       "EnableShell", 1);
}

std::string HelperPath(const char* name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of('\\') + 1) + name;
}

std::string RectArgs(const RECT& r)
{
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
}

class DropRobustness : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hNotepad = driver::StartNotepad(m_notepad, kNotepadRect);
        ASSERT_TRUE(m_hNotepad);
        ASSERT_TRUE(m_tiermo.Start());
        SetWindowPos(m_tiermo.Dialog(), nullptr, kTiermoAt.x, kTiermoAt.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
        driver::Pause(kSettleMs);
        for (int id : kIcons)
            m_restIcons.push_back(driver::CaptureRect(driver::ControlRect(m_tiermo.Dialog(), id)));
    }

    POINT Icon(int id) const { return m_tiermo.CenterOf(id); }
    POINT NotepadPoint() const { return driver::Center(driver::WindowRect(m_hNotepad)); }
    HWND Dialog() const { return m_tiermo.Dialog(); }

    bool IconsAtRest() const
    {
        for (size_t i = 0; i < std::size(kIcons); ++i) {
            const auto now = driver::CaptureRect(driver::ControlRect(Dialog(), kIcons[i]));
            if (now.empty() || driver::CountDifferences(now, m_restIcons[i]) != 0)
                return false;
        }
        return true;
    }

    // Running, answering, no capture, icons at rest; then a real drop on
    // notepad still works both ways, and the version is still stored.
    void ExpectStillWorking()
    {
        ASSERT_TRUE(m_tiermo.Process().IsRunning());
        EXPECT_TRUE(driver::WaitUntil([&] { return driver::SendBounded(Dialog(), WM_NULL, 0, 0); },
                                      kWaitMs));
        EXPECT_TRUE(driver::WaitUntil(
            [&] { return driver::CaptureOf(Dialog()) == nullptr && IconsAtRest(); }, kWaitMs));

        ASSERT_TRUE(driver::CarefulDrag(Icon(IDC_TOP), NotepadPoint()));
        EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(m_hNotepad); }, kWaitMs))
            << Describe();
        ASSERT_TRUE(driver::CarefulDrag(Icon(IDC_NORMAL), NotepadPoint()));
        EXPECT_TRUE(driver::WaitUntil([&] { return !driver::IsTopmost(m_hNotepad); }, kWaitMs))
            << Describe();

        DWORD version = 0;
        EXPECT_TRUE(driver::ReadDword(HKEY_LOCAL_MACHINE, kVersionKey, kVersionValue, &version));
        EXPECT_EQ(kCurrentVersion, version);
    }

    std::string Describe() const
    {
        char text[256];
        std::snprintf(text, sizeof text,
                      "foreground %p (tiermo %p, notepad %p), capture: notepad %p, tiermo %p",
                      (void*)GetForegroundWindow(), (void*)Dialog(), (void*)m_hNotepad,
                      (void*)driver::CaptureOf(m_hNotepad), (void*)driver::CaptureOf(Dialog()));
        return text;
    }

    // Drops every icon in turn on pt, each after the program is back at rest.
    void DropEveryIconOn(POINT pt)
    {
        for (int id : kIcons) {
            SCOPED_TRACE(id);
            ASSERT_TRUE(driver::CarefulDrag(Icon(id), pt)) << Describe();
            ASSERT_TRUE(driver::WaitUntil(
                [&] { return driver::SendBounded(Dialog(), WM_NULL, 0, 0); }, kWaitMs));
            driver::Pause(kSettleMs);
        }
    }

    driver::Process m_notepad;
    HWND m_hNotepad = nullptr;
    tiermo_test::TiermoSession m_tiermo;
    std::vector<std::vector<COLORREF>> m_restIcons;
};

// The target destroys itself, or its whole process ends, while it answers
// the program's question; or the pop-up's owner that the drop climbs to goes.
TEST_F(DropRobustness, TargetGoneBetweenHitTestAndActionIsHarmless)
{
    const struct {
        const char* mode;
        const char* dropOn;
    } cases[] = {
        {"destroy", kVanishingCaption}, {"exit", kVanishingCaption}, {"owner", kVanishingPopup}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        driver::Process helper;
        ASSERT_TRUE(helper.Launch(HelperPath(kVanishingExe),
                                  std::string(c.mode) + " " + RectArgs(kVanishingRect)));
        HWND target = driver::WaitForWindow(c.dropOn, nullptr, helper.Pid());
        ASSERT_TRUE(target);
        driver::Pause(kSettleMs);
        ASSERT_TRUE(driver::CarefulDrag(Icon(IDC_TOP), driver::Center(driver::WindowRect(target))));
        // Gone by the program's question, not by anything else.
        EXPECT_TRUE(driver::WaitForWindowGone(target, kWaitMs));
        EXPECT_TRUE(helper.WaitForExit(kWaitMs));
        ExpectStillWorking();
        if (HasFatalFailure())
            return;
    }
}

// The desktop and the task bar are top-level windows like any other: every
// icon dropped on them is carried out without harm.
TEST_F(DropRobustness, DropsOnTheDesktopAndTheTaskBarAreHarmless)
{
    ASSERT_EQ(GetDesktopWindow(), WindowFromPoint(kBareDesktop))
        << "something covers the bare desktop point";
    DropEveryIconOn(kBareDesktop);
    ExpectStillWorking();

    HWND tray = driver::WaitForWindow(nullptr, kTrayClass, 0, kWaitMs);
    ASSERT_TRUE(tray) << "no task bar in the virtual desktop";
    const RECT bar = driver::WindowRect(tray);
    ASSERT_GT(bar.bottom - bar.top, 0);
    // Its middle and its left end (where the start button is).
    DropEveryIconOn(driver::Center(bar));
    DropEveryIconOn(POINT{bar.left + 10, (bar.top + bar.bottom) / 2});
    EXPECT_TRUE(IsWindow(tray));
    ExpectStillWorking();
}

// A press and release made while the program is too busy to handle them: the
// release goes to the window under the pointer, since no capture is set yet,
// and then the press gives the icon the capture with the button already up.
// The next move, with the button up, must end that drag without an action;
// otherwise the user's next click anywhere would drop there.
TEST_F(DropRobustness, ReleaseGoneElsewhereEndsTheDragAtTheNextMove)
{
    ASSERT_TRUE(driver::Activate(m_hNotepad));
    // Tiermo's thread stopped while the drag is made: busy as it can be.
    const HANDLE ui =
        OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(Dialog(), nullptr));
    ASSERT_TRUE(ui);
    SuspendThread(ui);
    const bool atIcon = driver::RestAt(Icon(IDC_TOP));
    driver::SendMouse(MOUSEEVENTF_LEFTDOWN);
    const bool atNotepad = driver::RestAt(NotepadPoint());
    driver::SendMouse(MOUSEEVENTF_LEFTUP);
    ResumeThread(ui);
    CloseHandle(ui);
    ASSERT_TRUE(atIcon && atNotepad);
    // The press reached the icon (so the program is active again), and all
    // the input for it was handled; the release went to notepad.
    ASSERT_TRUE(driver::WaitUntil([&] { return GetForegroundWindow() == Dialog(); }, kWaitMs));
    ASSERT_TRUE(driver::WaitForInputHandled(m_tiermo.Item(IDC_TOP), kWaitMs));

    // The user's next move.
    ASSERT_TRUE(driver::RestAt(driver::Center(driver::WindowRect(Dialog()))));
    ExpectStillWorking();
}

// Drags as fast as the input goes, without waiting for the program: onto a
// plain window, the bare desktop and the program's own dialog, some
// cancelled with the right button. Input queues up behind the flashes and
// drops may merge or be lost; the program must come to rest and keep working.
// (Not onto notepad: a press that reaches its edit control while the program
// is busy leaves the mouse captured there.)
TEST_F(DropRobustness, TwoHundredRapidDragsLeaveTheProgramWorking)
{
    driver::Process plain;
    ASSERT_TRUE(plain.Launch(HelperPath(kVanishingExe), "stay " + RectArgs(kVanishingRect)));
    HWND target = driver::WaitForWindow(kVanishingCaption, nullptr, plain.Pid());
    ASSERT_TRUE(target);
    driver::Pause(kSettleMs);

    enum Kind { kOnWindow, kOnOwnDialog, kCancelled, kOnDesktop, kOnOwnDialogAgain, kKinds };
    const POINT onWindow = driver::Center(driver::WindowRect(target));
    const POINT ownDialog = driver::Center(driver::WindowRect(Dialog()));
    int unconfirmedMoves = 0;
    for (int i = 0; i < kRapidDrags; ++i) {
        const POINT from = Icon(kIcons[i % 3]);
        const int kind = i % kKinds;
        const POINT to = kind == kOnDesktop                        ? kBareDesktop
                         : kind == kOnWindow || kind == kCancelled ? onWindow
                                                                   : ownDialog;
        // At this pace the pointer may lag; the drag goes on wherever it is.
        unconfirmedMoves += driver::MoveTo(from, 1, 0) ? 0 : 1;
        driver::SendMouse(MOUSEEVENTF_LEFTDOWN);
        unconfirmedMoves += driver::MoveTo(to, 2, 0) ? 0 : 1;
        if (kind == kCancelled) {
            driver::SendMouse(MOUSEEVENTF_RIGHTDOWN);
            driver::SendMouse(MOUSEEVENTF_RIGHTUP);
        }
        driver::SendMouse(MOUSEEVENTF_LEFTUP);
    }
    std::printf("%d of %d pointer moves not confirmed\n", unconfirmedMoves, 3 * kRapidDrags);

    // Rest and the drops that follow mean something only once every queued
    // drag has been handled.
    const ULONGLONG sent = GetTickCount64();
    EXPECT_TRUE(driver::WaitForInputHandled(m_tiermo.Item(IDC_TOP), kDrainMs));
    std::printf("Tiermo handled the drags %lu ms after the last was sent\n",
                static_cast<unsigned long>(GetTickCount64() - sent));
    EXPECT_TRUE(plain.IsRunning());
    ExpectStillWorking();
}

} // namespace

// Its own main: the task bar must be on before any window of the test exists.
int main(int argc, char** argv)
{
    EnableTaskBar();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
