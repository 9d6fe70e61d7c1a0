// The Help window and the About box of the real program, driven by keyboard
// and mouse under Wine.
#include "Driver.h"
#include "res_text.h"
#include "resource.h"
#include "tests/support/tiermo_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tiermo_test::kDialogClass;
using tiermo_test::TiermoSession;

constexpr const char* kHelpCaption = "Tiermo Help";
constexpr const char* kAboutCaption = "About Tiermo";
// How long to watch for a window that must not appear.
constexpr int kNoWindowMs = 800;

class InfoWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tiermo.Start()) << driver::DescribeWindows();
        m_hMain = m_tiermo.Dialog();
        m_pid = m_tiermo.Process().Pid();
        ASSERT_TRUE(driver::Activate(m_hMain));
    }

    // The window once it is shown, active and answering messages, so that
    // input reaches it.
    HWND WaitFor(const char* caption)
    {
        HWND h = driver::WaitForWindow(caption, kDialogClass, m_pid);
        if (h && !driver::WaitUntil([&] {
                return ::GetForegroundWindow() == h && driver::SendBounded(h, WM_NULL, 0, 0);
            }))
            return nullptr;
        return h;
    }

    // Visible top-level windows of the program, with this caption if one is given.
    size_t Count(const char* caption = nullptr) const
    {
        size_t n = 0;
        for (HWND h : driver::TopLevelWindows(true))
            if (driver::WindowPid(h) == m_pid && (!caption || driver::Caption(h) == caption))
                ++n;
        return n;
    }

    TiermoSession m_tiermo;
    HWND m_hMain = nullptr;
    DWORD m_pid = 0;
};

TEST_F(InfoWindows, HelpButtonShowsTheHelpTextWithFocusOnClose)
{
    ASSERT_TRUE(::IsWindowVisible(m_tiermo.Item(IDC_CMD_HELP)));
    ASSERT_TRUE(driver::ClickButton(m_hMain, IDC_CMD_HELP));
    HWND help = WaitFor(kHelpCaption);
    ASSERT_NE(help, nullptr) << driver::DescribeWindows();

    EXPECT_EQ(driver::GetText(driver::ChildAtId(help, IDC_HELP_TEXT)), res_text::HelpText());
    EXPECT_EQ(::GetWindow(help, GW_OWNER), m_hMain);
    EXPECT_FALSE(::IsWindowEnabled(m_hMain));
    EXPECT_TRUE(driver::WaitUntil([&] {
        return driver::FocusOf(help) == driver::ChildAtId(help, IDCANCEL);
    })) << "focus on control "
        << ::GetDlgCtrlID(driver::FocusOf(help));

    driver::PressKey(VK_RETURN);
    EXPECT_TRUE(driver::WaitForWindowGone(help));
    EXPECT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(m_hMain) != FALSE; }));
    EXPECT_TRUE(m_tiermo.Process().IsRunning());
}

TEST_F(InfoWindows, F1OpensOneHelpWindowAndF1InsideItOpensNoOther)
{
    driver::PressKey(VK_F1);
    HWND help = WaitFor(kHelpCaption);
    ASSERT_NE(help, nullptr) << driver::DescribeWindows();
    ASSERT_TRUE(driver::Activate(help));

    driver::PressKey(VK_F1);
    driver::Pause(kNoWindowMs);
    EXPECT_EQ(Count(kHelpCaption), 1u);
    EXPECT_EQ(Count(), 2u) << driver::DescribeWindows();

    ASSERT_TRUE(driver::ClickButton(help, IDCANCEL));
    EXPECT_TRUE(driver::WaitForWindowGone(help));
}

TEST_F(InfoWindows, HelpOpensAgainEachTimeAfterClosing)
{
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(driver::ClickButton(m_hMain, IDC_CMD_HELP));
        HWND help = WaitFor(kHelpCaption);
        ASSERT_NE(help, nullptr) << "round " << round << "\n" << driver::DescribeWindows();
        ASSERT_TRUE(driver::ClickButton(help, IDCANCEL));
        ASSERT_TRUE(driver::WaitForWindowGone(help)) << "round " << round;
        ASSERT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(m_hMain) != FALSE; }));
    }
}

TEST_F(InfoWindows, F1WithShiftCtrlOrAltDoesNothing)
{
    for (unsigned modifier : {driver::kShift, driver::kCtrl, driver::kAlt}) {
        driver::PressKey(VK_F1, modifier);
        driver::Pause(kNoWindowMs);
        EXPECT_EQ(Count(kHelpCaption), 0u) << "modifier " << modifier;
        ASSERT_TRUE(m_tiermo.Process().IsRunning());
        ASSERT_TRUE(driver::Activate(m_hMain));
    }
    // The same key without a modifier does reach the program.
    driver::PressKey(VK_F1);
    EXPECT_NE(WaitFor(kHelpCaption), nullptr);
}

// Rows of a control's screen pixels that hold text: for each line of ink, its
// first row and its height (ink is what differs from the background pixel at
// the control's top-left corner).
struct InkLine {
    int top;
    int height;
};

std::vector<InkLine> InkLines(HWND hDlg, int id)
{
    const RECT r = driver::ControlRect(hDlg, id);
    const int width = r.right - r.left;
    const std::vector<COLORREF> pixels = driver::CaptureRect(r);
    std::vector<InkLine> lines;
    if (width <= 0 || pixels.empty())
        return lines;
    const int height = int(pixels.size()) / width;
    bool bInLine = false;
    for (int y = 0; y < height; ++y) {
        bool bInk = false;
        for (int x = 0; x < width && !bInk; ++x)
            bInk = pixels[size_t(y) * size_t(width) + size_t(x)] != pixels[0];
        if (bInk && !bInLine)
            lines.push_back({y, 0});
        if (bInk)
            lines.back().height = y - lines.back().top + 1;
        bInLine = bInk;
    }
    return lines;
}

TEST_F(InfoWindows, AboutButtonShowsNameVersionNoticeAndDisclaimer)
{
    ASSERT_TRUE(driver::ClickButton(m_hMain, IDC_CMD_APP_ABOUT));
    HWND about = WaitFor(kAboutCaption);
    ASSERT_NE(about, nullptr) << driver::DescribeWindows();

    EXPECT_EQ(driver::GetText(driver::ChildAtId(about, IDC_NAME_VERSION)), "Tiermo v1.6");
    EXPECT_EQ(driver::GetText(driver::ChildAtId(about, IDC_NOTICE)),
              "Copyright (C) 1996 Kevra\nAll rights reserved.");
    EXPECT_EQ(driver::GetText(driver::ChildAtId(about, IDC_DESCRIPTION)),
              "Win32 Windows Z-Ordering Tool\nBuilt on Nov 30 1996");
    EXPECT_EQ(driver::GetText(driver::ChildAtId(about, IDC_ABOUT_TEXT)), res_text::Disclaimer());
    EXPECT_TRUE(driver::WaitUntil(
        [&] { return driver::FocusOf(about) == driver::ChildAtId(about, IDOK); }));

    // The disclaimer's font is smaller than the dialog font: its capitals are
    // lower and its lines closer together than those of the two-line notice.
    std::vector<InkLine> notice, disclaimer;
    EXPECT_TRUE(driver::WaitUntil([&] {
        notice = InkLines(about, IDC_NOTICE);
        disclaimer = InkLines(about, IDC_ABOUT_TEXT);
        return notice.size() == 2 && disclaimer.size() >= 2;
    }));
    ASSERT_EQ(notice.size(), 2u);
    ASSERT_GE(disclaimer.size(), 2u);
    EXPECT_LT(disclaimer[0].height, notice[0].height); // "DISCLAIMER:" and "Copyright (C) ..."
    EXPECT_LT(disclaimer[1].top - disclaimer[0].top, notice[1].top - notice[0].top);

    driver::PressKey(VK_RETURN);
    EXPECT_TRUE(driver::WaitForWindowGone(about));
    EXPECT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(m_hMain) != FALSE; }));
}

TEST_F(InfoWindows, F1InTheAboutBoxOpensHelpAboveIt)
{
    ASSERT_TRUE(driver::ClickButton(m_hMain, IDC_CMD_APP_ABOUT));
    HWND about = WaitFor(kAboutCaption);
    ASSERT_NE(about, nullptr) << driver::DescribeWindows();
    ASSERT_TRUE(driver::Activate(about));

    driver::PressKey(VK_F1);
    HWND help = WaitFor(kHelpCaption);
    ASSERT_NE(help, nullptr) << driver::DescribeWindows();
    EXPECT_TRUE(driver::IsAbove(help, about));
    EXPECT_FALSE(::IsWindowEnabled(about));

    ASSERT_TRUE(driver::ClickButton(help, IDCANCEL));
    EXPECT_TRUE(driver::WaitForWindowGone(help));
    EXPECT_TRUE(::IsWindowVisible(about));
    EXPECT_TRUE(driver::WaitUntil([&] { return ::IsWindowEnabled(about) != FALSE; }));
    ASSERT_TRUE(driver::ClickButton(about, IDOK));
    EXPECT_TRUE(driver::WaitForWindowGone(about));
}

TEST(InfoFirstRun, NewVersionOpensTheAboutBoxByItself)
{
    ASSERT_TRUE(driver::WriteDword(HKEY_LOCAL_MACHINE, tiermo_test::kVersionKey,
                                   tiermo_test::kVersionValue, 0x00010005));
    driver::Process tiermo;
    ASSERT_TRUE(tiermo.Launch(driver::TiermoExe()));
    HWND about = driver::WaitForWindow(kAboutCaption, kDialogClass, tiermo.Pid());
    ASSERT_NE(about, nullptr) << driver::DescribeWindows();
    EXPECT_EQ(driver::GetText(driver::ChildAtId(about, IDC_NAME_VERSION)), "Tiermo v1.6");
    EXPECT_EQ(driver::GetText(driver::ChildAtId(about, IDC_ABOUT_TEXT)), res_text::Disclaimer());
    ASSERT_TRUE(::PostMessageA(about, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(driver::WaitForWindowGone(about));
}

} // namespace
