// Real drags with SendInput from Tiermo's icons onto Wine's notepad and other
// windows of the virtual desktop, checked as a user would see them: the
// Z-order, the topmost state, the icons' pictures and the pointer.
#include "tests/support/tiermo_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using tiermo_test::kSettleMs;
using tiermo_test::TiermoSession;

constexpr RECT kNotepadPlace{10, 10, 10 + 330, 10 + 260};
constexpr int kEffectMs = 3000;
// Drags in six steps, each confirmed, resting on the press and release points,
// and releasing with the release point in the same input. Wine's X11 driver
// can apply a late motion event of an earlier step after the last one, and a
// plain button-up then carries that earlier point. Measured with a plain
// window that takes the capture (no Tiermo code), 100 six-step paths each:
// steps sent without pauses, 9 releases came at a point of the path, and
// GetCursorPos showed the pointer moved back there too; every step confirmed,
// 2 did; resting 300 ms on the last point, 1 still did; a release carrying
// its point, 0 of 200, even without pauses. Tiermo drops where the release
// message says, as it should.
constexpr driver::DragPace kPace{6, 40, kSettleMs};

POINT CaptionPoint(HWND h)
{
    const RECT r = driver::WindowRect(h);
    return POINT{(r.left + r.right) / 2,
                 r.top + ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION) / 2};
}

// What a user sees of the desktop's stacking: visible windows in order and
// their topmost states.
struct Stacking {
    std::vector<HWND> order;
    std::vector<bool> topmost;
    bool operator==(const Stacking&) const = default;
};

Stacking CurrentStacking()
{
    Stacking s;
    s.order = driver::TopLevelWindows(true);
    for (HWND h : s.order)
        s.topmost.push_back(driver::IsTopmost(h));
    return s;
}

class DragGui : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_tiermo.Start()); }

    HWND StartNotepad()
    {
        HWND h = driver::StartNotepad(m_notepad, kNotepadPlace);
        driver::Pause(kSettleMs);
        return h;
    }

    static HWND EditOf(HWND notepad) { return ::FindWindowExA(notepad, nullptr, "Edit", nullptr); }

    POINT IconCenter(int id) const { return m_tiermo.CenterOf(id); }
    HWND Dialog() const { return m_tiermo.Dialog(); }
    bool TiermoAnswers() { return driver::SendBounded(Dialog(), WM_NULL, 0, 0, nullptr, 1000); }

    TiermoSession m_tiermo;
    driver::Process m_notepad;
};

TEST_F(DragGui, TopBottomAndNormalOnNotepadsEditControlApplyToNotepad)
{
    const HWND notepad = StartNotepad();
    ASSERT_NE(notepad, nullptr);
    const HWND edit = EditOf(notepad);
    ASSERT_NE(edit, nullptr);
    const RECT before = driver::WindowRect(notepad);
    const POINT onEdit = driver::Center(driver::WindowRect(edit));

    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_TOP), onEdit, kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(notepad); }, kEffectMs));
    EXPECT_FALSE(driver::IsTopmost(Dialog()));
    EXPECT_TRUE(driver::IsAbove(notepad, Dialog()));

    // "Bottom" on a topmost window takes that state away and sends it back.
    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_BOTTOM), onEdit, kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsBottomMostVisible(notepad); }, kEffectMs))
        << driver::DescribeWindows();
    EXPECT_FALSE(driver::IsTopmost(notepad));

    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_TOP), onEdit, kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(notepad); }, kEffectMs));
    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_NORMAL), onEdit, kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return !driver::IsTopmost(notepad); }, kEffectMs));

    // Only the order changed.
    const RECT after = driver::WindowRect(notepad);
    EXPECT_TRUE(::EqualRect(&before, &after));
    EXPECT_TRUE(TiermoAnswers());
}

TEST_F(DragGui, BottomOnAnOwnedFindDialogSendsItsOwnerNotepadToTheBack)
{
    const HWND notepad = StartNotepad();
    ASSERT_NE(notepad, nullptr);
    ASSERT_TRUE(driver::Activate(notepad));
    driver::PressKey('F', driver::kCtrl);
    const HWND find = driver::WaitForWindow("Find", nullptr, m_notepad.Pid());
    ASSERT_NE(find, nullptr) << driver::DescribeWindows();
    ASSERT_EQ(::GetWindow(find, GW_OWNER), notepad);
    driver::Pause(kSettleMs);
    const RECT findRect = driver::WindowRect(find);
    const RECT dlgRect = driver::WindowRect(Dialog());
    RECT overlap;
    ASSERT_FALSE(::IntersectRect(&overlap, &findRect, &dlgRect)) << driver::DescribeWindows();
    ASSERT_FALSE(driver::IsBottomMostVisible(notepad));

    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_BOTTOM), CaptionPoint(find), kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsBottomMostVisible(notepad); }, kEffectMs))
        << driver::DescribeWindows();
    EXPECT_TRUE(::IsWindowVisible(find));
    EXPECT_TRUE(TiermoAnswers());
}

TEST_F(DragGui, DropsOnTheIconsAndButtonsChangeNothingLabelsAndCaptionMeanTheDialog)
{
    const HWND dlg = Dialog();
    const Stacking before = CurrentStacking();
    for (int onto : {IDC_TOP, IDC_BOTTOM, IDC_NORMAL, IDOK, IDC_CMD_HELP, IDC_CMD_APP_ABOUT}) {
        ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_TOP), m_tiermo.CenterOf(onto), kPace))
            << onto;
        driver::Pause(kSettleMs);
        EXPECT_TRUE(CurrentStacking() == before) << onto << "\n" << driver::DescribeWindows();
    }
    EXPECT_TRUE(m_tiermo.Process().IsRunning());

    const HWND label = ::FindWindowExA(dlg, nullptr, "Static", "Top");
    ASSERT_NE(label, nullptr);
    ASSERT_TRUE(
        driver::CarefulDrag(IconCenter(IDC_TOP), driver::Center(driver::WindowRect(label)), kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(dlg); }, kEffectMs));

    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_NORMAL), CaptionPoint(dlg), kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return !driver::IsTopmost(dlg); }, kEffectMs));

    // The bare background between the icons and the buttons.
    const RECT icon = driver::ControlRect(dlg, IDC_NORMAL);
    const RECT button = driver::ControlRect(dlg, IDC_CMD_APP_ABOUT);
    const POINT bare{(icon.right + button.left) / 2, icon.top};
    ASSERT_EQ(::WindowFromPoint(bare), dlg);
    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_TOP), bare, kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(dlg); }, kEffectMs));
}

TEST_F(DragGui, RightButtonCancelsTheDragAndAClickWithoutMovingTouchesNothing)
{
    const HWND notepad = StartNotepad();
    ASSERT_NE(notepad, nullptr);
    const POINT onEdit = driver::Center(driver::WindowRect(EditOf(notepad)));

    // The right button goes down over notepad's edit and cancels the drag; the
    // left button's release there does nothing. The right button comes up over
    // Tiermo's background, where it opens no menu.
    const RECT icon = driver::ControlRect(Dialog(), IDC_NORMAL);
    const RECT button = driver::ControlRect(Dialog(), IDC_CMD_APP_ABOUT);
    const POINT bare{(icon.right + button.left) / 2, icon.top};
    const HWND top = m_tiermo.Item(IDC_TOP);
    ASSERT_TRUE(driver::PressAndCapture(IconCenter(IDC_TOP), kPace));
    ASSERT_TRUE(driver::RestAt(onEdit, kPace));
    driver::RightDown();
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::CaptureOf(top) == nullptr; }, kEffectMs));
    driver::LeftUp();
    ASSERT_TRUE(driver::MoveTo(bare));
    driver::RightUp();
    driver::Pause(kSettleMs);
    EXPECT_FALSE(driver::IsTopmost(notepad));
    EXPECT_FALSE(driver::IsTopmost(Dialog()));

    const Stacking before = CurrentStacking();
    ASSERT_TRUE(driver::CarefulDrag(IconCenter(IDC_BOTTOM), IconCenter(IDC_BOTTOM), kPace));
    driver::Pause(kSettleMs);
    EXPECT_TRUE(CurrentStacking() == before) << driver::DescribeWindows();
    EXPECT_TRUE(TiermoAnswers());
}

// ------------------------------------------------------------------ what is seen

// Renders an icon of Tiermo.exe as the static control shows it: on the
// dialog's background, at the control's size.
std::vector<COLORREF> RenderOwnIcon(UINT id, SIZE size, COLORREF background)
{
    struct ModuleFree {
        void operator()(HMODULE h) const { ::FreeLibrary(h); }
    };
    std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree> exe(
        ::LoadLibraryExA(driver::TiermoExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!exe)
        return {};
    HICON icon =
        HICON(::LoadImageA(exe.get(), MAKEINTRESOURCEA(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (!icon)
        return {};
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, size.cx, size.cy);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    HBRUSH brush = ::CreateSolidBrush(background);
    const RECT all{0, 0, size.cx, size.cy};
    ::FillRect(memory, &all, brush);
    ::DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x)
            pixels.push_back(::GetPixel(memory, x, y) & 0xFFFFFF);
    ::SelectObject(memory, old);
    ::DeleteObject(brush);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    ::DestroyIcon(icon);
    return pixels;
}

TEST_F(DragGui, IconShowsItsEmptyFrameWhileDraggedAndItsMarkAtRestAfterADropOrCancel)
{
    const HWND notepad = StartNotepad();
    ASSERT_NE(notepad, nullptr);
    const POINT onEdit = driver::Center(driver::WindowRect(EditOf(notepad)));
    const RECT area = driver::ControlRect(Dialog(), IDC_TOP);
    const SIZE size{area.right - area.left, area.bottom - area.top};
    const COLORREF background = driver::ScreenPixel(POINT{area.left - 1, area.top});
    const std::vector<COLORREF> rest = RenderOwnIcon(IDI_POSITION, size, background);
    const std::vector<COLORREF> empty = RenderOwnIcon(IDI_POSITION_EMPTY, size, background);
    ASSERT_FALSE(rest.empty());
    ASSERT_GT(driver::CountDifferences(rest, empty), 0u);
    auto shows = [&](const std::vector<COLORREF>& look) {
        return driver::WaitUntil(
            [&] { return driver::CountDifferences(driver::CaptureRect(area), look) == 0; },
            kEffectMs);
    };
    EXPECT_TRUE(shows(rest));

    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "drop");
        ASSERT_TRUE(driver::PressAndCapture(IconCenter(IDC_TOP), kPace));
        ASSERT_TRUE(driver::RestAt(onEdit, kPace));
        EXPECT_TRUE(shows(empty));
        if (cancel) {
            driver::RightDown();
            driver::RightUp();
            EXPECT_TRUE(shows(rest));
            driver::LeftUp();
        } else {
            driver::LeftUp();
            EXPECT_TRUE(shows(rest));
        }
    }
    EXPECT_TRUE(driver::IsTopmost(notepad)); // the drop, not the cancel
}

TEST_F(DragGui, PointerIsTheHoverCursorOverEachIconAndTheDragCursorWhileDragging)
{
    // Another process's cursors cannot be drawn here; their handles can be
    // compared: one shared hover cursor for the three icons, another one
    // while dragging, and neither is the dialog's arrow.
    // Each is read once Tiermo has handled the move: it sets the cursor then.
    ASSERT_TRUE(driver::MoveTo(CaptionPoint(Dialog())));
    ASSERT_TRUE(driver::WaitForInputHandled(Dialog()));
    const HCURSOR arrow = driver::CursorHandle();
    std::vector<HCURSOR> hover;
    for (int id : {IDC_TOP, IDC_BOTTOM, IDC_NORMAL}) {
        ASSERT_TRUE(driver::MoveTo(IconCenter(id)));
        ASSERT_TRUE(driver::WaitForInputHandled(m_tiermo.Item(id)));
        hover.push_back(driver::CursorHandle());
    }
    const HWND dlg = Dialog();
    EXPECT_NE(hover[0], arrow);
    EXPECT_NE(hover[0], nullptr);
    EXPECT_EQ(hover[1], hover[0]);
    EXPECT_EQ(hover[2], hover[0]);

    ASSERT_TRUE(driver::PressAndCapture(IconCenter(IDC_NORMAL), kPace));
    const RECT r = driver::WindowRect(dlg);
    ASSERT_TRUE(driver::MoveTo(r.right + 30, r.bottom + 30, kPace.steps, kPace.pauseMs));
    driver::Pause(kSettleMs);
    const HCURSOR drag = driver::CursorHandle();
    driver::RightDown();
    driver::RightUp();
    driver::LeftUp();
    EXPECT_NE(drag, hover[0]);
    EXPECT_NE(drag, arrow);
    EXPECT_NE(drag, nullptr);
}

TEST_F(DragGui, DropOnAWindowThatStoppedRespondingLeavesTiermoResponsive)
{
    driver::Process helper;
    ASSERT_TRUE(helper.Launch(driver::HungWindowExe(), "--pos 10 10 300 200 --exit-after 25000"));
    const HWND hung =
        driver::WaitForWindow(driver::kHungWindowCaption, driver::kHungWindowClass, helper.Pid());
    ASSERT_NE(hung, nullptr);
    ASSERT_TRUE(driver::SendBounded(hung, WM_NULL, 0, 0));
    constexpr int kHangMs = 8000;
    ASSERT_TRUE(::PostMessageA(hung, driver::kHangMessage, kHangMs, 0));
    driver::Pause(kSettleMs);
    ASSERT_FALSE(driver::SendBounded(hung, WM_NULL, 0, 0, nullptr, 300));

    const ULONGLONG start = ::GetTickCount64();
    ASSERT_TRUE(
        driver::CarefulDrag(IconCenter(IDC_TOP), driver::Center(driver::WindowRect(hung)), kPace));
    EXPECT_TRUE(driver::WaitUntil([&] { return TiermoAnswers(); }, 3000));
    ASSERT_TRUE(::PostMessageA(Dialog(), WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(m_tiermo.EndedNormally(3000));
    EXPECT_LT(::GetTickCount64() - start, ULONGLONG(kHangMs))
        << "Tiermo waited for the hung window";
    EXPECT_FALSE(driver::SendBounded(hung, WM_NULL, 0, 0, nullptr, 100)) << "hang ended too early";

    // Once the helper recovers it receives the change that was sent to it.
    EXPECT_TRUE(driver::WaitUntil([&] { return driver::IsTopmost(hung); }, kHangMs + 2000));
}

} // namespace
