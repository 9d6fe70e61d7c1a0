// Proves the GUI test driver against real windows: Wine's notepad and the
// hung-window helper.
#include "Driver.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kNotepadClass = "Notepad";
constexpr COLORREF kHelperClientColour = RGB(0, 128, 128);

class DriverSmoke : public ::testing::Test {
protected:
    HWND StartNotepad()
    {
        EXPECT_TRUE(notepad_.Launch(driver::NotepadPath()));
        HWND hwnd = driver::WaitForWindowContaining("Notepad", kNotepadClass, notepad_.Pid());
        EXPECT_NE(nullptr, hwnd) << "notepad's window did not appear";
        return hwnd;
    }

    HWND StartHelper(const std::string& args = "")
    {
        EXPECT_TRUE(helper_.Launch(driver::HungWindowExe(), args)) << driver::HungWindowExe();
        HWND hwnd = driver::WaitForWindow(driver::kHungWindowCaption, driver::kHungWindowClass,
                                          helper_.Pid());
        EXPECT_NE(nullptr, hwnd) << "helper window did not appear";
        return hwnd;
    }

    static HWND EditOf(HWND notepad) { return FindWindowExA(notepad, nullptr, "Edit", nullptr); }

    driver::Process notepad_;
    driver::Process helper_;
};

TEST_F(DriverSmoke, TypesIntoNotepadAndReadsTheTextBack)
{
    HWND notepad = StartNotepad();
    ASSERT_NE(nullptr, notepad);
    EXPECT_EQ(kNotepadClass, driver::ClassName(notepad));
    HWND edit = EditOf(notepad);
    ASSERT_NE(nullptr, edit);
    ASSERT_TRUE(driver::Activate(notepad));

    driver::TypeText("Hello, Tiermo 42!");
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::GetText(edit) == "Hello, Tiermo 42!"; }))
        << "edit text: " << driver::GetText(edit);

    driver::PressKey(VK_BACK);
    driver::PressKey('A', driver::kCtrl); // select all, modifier released after
    driver::TypeText("x");
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::GetText(edit) == "x"; }))
        << "edit text: " << driver::GetText(edit);
    EXPECT_GE(GetKeyState(VK_CONTROL), 0) << "Ctrl still down";

    notepad_.Terminate();
    EXPECT_TRUE(notepad_.WaitForExit(1000));
    EXPECT_TRUE(driver::WaitForWindowGone(notepad, 2000));
}

TEST_F(DriverSmoke, MovesThePointerAndDragsAWindowByItsCaption)
{
    for (POINT target : {POINT{0, 0}, POINT{1023, 767}, POINT{517, 301}, POINT{3, 700}}) {
        ASSERT_TRUE(driver::MoveTo(target));
        const POINT pos = driver::CursorPos();
        EXPECT_EQ(target.x, pos.x);
        EXPECT_EQ(target.y, pos.y);
    }

    HWND helper = StartHelper("--pos 100 100 300 200");
    ASSERT_NE(nullptr, helper);
    const RECT before = driver::WindowRect(helper);
    const POINT grip{before.left + 60, before.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 3};
    ASSERT_TRUE(driver::Drag(grip, POINT{grip.x + 150, grip.y + 90}));
    EXPECT_TRUE(driver::WaitUntil([&] {
        return driver::WindowRect(helper).left == before.left + 150;
    })) << driver::DescribeWindows();
    const RECT after = driver::WindowRect(helper);
    EXPECT_EQ(before.left + 150, after.left);
    EXPECT_EQ(before.top + 90, after.top);
}

TEST_F(DriverSmoke, FollowsTheZOrder)
{
    HWND helper = StartHelper("--pos 50 50 300 200");
    HWND notepad = StartNotepad();
    ASSERT_NE(nullptr, helper);
    ASSERT_NE(nullptr, notepad);

    const std::vector<HWND> windows = driver::TopLevelWindows();
    EXPECT_NE(windows.end(), std::find(windows.begin(), windows.end(), helper));
    EXPECT_NE(windows.end(), std::find(windows.begin(), windows.end(), notepad));

    ASSERT_TRUE(driver::Activate(notepad));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsAbove(notepad, helper); }))
        << driver::DescribeWindows();
    EXPECT_FALSE(driver::IsAbove(helper, notepad));
    ASSERT_TRUE(driver::Activate(helper));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsAbove(helper, notepad); }))
        << driver::DescribeWindows();

    EXPECT_TRUE(
        SetWindowPos(helper, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE))
        << GetLastError();
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsBottomMostVisible(helper); }))
        << driver::DescribeWindows();
    EXPECT_FALSE(driver::IsBottomMostVisible(notepad));

    EXPECT_FALSE(driver::IsTopmost(notepad));
    SetWindowPos(notepad, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(notepad); }));
}

TEST_F(DriverSmoke, CapturesScreenPixelsOfAnotherProcess)
{
    HWND helper = StartHelper("--pos 200 150 300 200");
    ASSERT_NE(nullptr, helper);
    RECT client;
    ASSERT_TRUE(GetClientRect(helper, &client));
    MapWindowPoints(helper, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const RECT inner{client.left + 10, client.top + 10, client.right - 10, client.bottom - 10};
    ASSERT_TRUE(driver::WaitUntil(
        [&] { return driver::ScreenPixel(driver::Center(inner)) == kHelperClientColour; }));
    const std::vector<COLORREF> pixels = driver::CaptureRect(inner);
    const std::vector<COLORREF> expected(pixels.size(), kHelperClientColour);
    EXPECT_EQ(0u, driver::CountDifferences(pixels, expected));

    // The same area once the window has gone is different everywhere.
    helper_.Terminate();
    ASSERT_TRUE(driver::WaitUntil(
        [&] { return driver::ScreenPixel(driver::Center(inner)) != kHelperClientColour; }));
    EXPECT_EQ(pixels.size(), driver::CountDifferences(driver::CaptureRect(inner), expected));
}

TEST_F(DriverSmoke, CursorHandleFollowsThePointer)
{
    HWND notepad = StartNotepad();
    ASSERT_NE(nullptr, notepad);
    HWND edit = EditOf(notepad);
    ASSERT_NE(nullptr, edit);
    // The cursor shown is the one the foreground window's thread set.
    ASSERT_TRUE(driver::Activate(notepad));
    ASSERT_TRUE(driver::MoveTo(driver::Center(driver::WindowRect(edit))));
    HCURSOR overEdit = nullptr;
    ASSERT_TRUE(driver::WaitUntil([&] { return (overEdit = driver::CursorHandle()) != nullptr; }));
    const RECT frame = driver::WindowRect(notepad);
    ASSERT_TRUE(
        driver::MoveTo(frame.left + 60, frame.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 3));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::CursorHandle() != overEdit; }))
        << "the I-beam over the edit and the arrow over the caption should differ";

    // Cursors of this process can be drawn and compared.
    const std::vector<COLORREF> arrow = driver::CursorImage(LoadCursorA(nullptr, IDC_ARROW));
    const std::vector<COLORREF> beam = driver::CursorImage(LoadCursorA(nullptr, IDC_IBEAM));
    ASSERT_EQ(2u * 32u * 32u, arrow.size());
    EXPECT_GT(driver::CountDifferences(arrow, beam), 0u);
}

TEST_F(DriverSmoke, SurvivesAWindowThatStopsResponding)
{
    HWND helper = StartHelper("--popup");
    ASSERT_NE(nullptr, helper);
    HWND popup = driver::WaitForWindow(driver::kHungPopupCaption, nullptr, helper_.Pid());
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(helper, GetWindow(popup, GW_OWNER));
    EXPECT_EQ(helper, driver::RootOwner(popup));

    ASSERT_TRUE(driver::SendBounded(helper, WM_NULL, 0, 0));
    ASSERT_TRUE(PostMessageA(helper, driver::kHangMessage, 4000, 0));
    driver::Pause(200);
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(driver::SendBounded(helper, WM_NULL, 0, 0, nullptr, 500));
    EXPECT_EQ("", driver::GetText(helper));
    EXPECT_LT(GetTickCount64() - start, 3000u) << "messages to a hung window must stay bounded";
    EXPECT_EQ(driver::kHungWindowCaption, driver::Caption(helper));
    EXPECT_TRUE(driver::WaitUntil(
        [&] { return driver::SendBounded(helper, WM_NULL, 0, 0, nullptr, 200); }, 8000));
}

} // namespace
