// The main dialog and its drag icons run in this process, with the program's
// real resources: each test starts CTiermoDlg modally and plays mouse messages
// to the icons from inside its modal loop, where the outcome can be read
// exactly (capture, icon and cursor handles, messages the target receives).
#include "Driver.h"
#include "resource.h"
#include "ui/DropRules.h"
#include "ui/TiermoDlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// The test's own application object: no commands, no version record.
class CTestApp : public CWinApp {
public:
    CTestApp() : CWinApp("Tiermo") {}
};
CTestApp g_app;

constexpr UINT kRunScenario = WM_APP + 10;
constexpr UINT_PTR kWatchdogTimer = 77;
constexpr UINT kWatchdogMs = 20000;

// CTiermoDlg that runs a scenario once its modal loop is going, then ends.
class CScenarioDlg : public CTiermoDlg {
public:
    std::function<void(CScenarioDlg&)> m_scenario;
    bool m_bRan = false;

    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }

protected:
    BOOL OnInitDialog() override
    {
        BOOL result = CTiermoDlg::OnInitDialog();
        PostMessage(kRunScenario);
        ::SetTimer(m_hWnd, kWatchdogTimer, kWatchdogMs, nullptr);
        return result;
    }

    LRESULT OnRun(WPARAM, LPARAM)
    {
        ::UpdateWindow(m_hWnd);
        m_scenario(*this);
        m_bRan = true;
        if (::GetCapture())
            ::ReleaseCapture();
        EndDialog(IDOK);
        return 0;
    }

    // Minimised, a window here has no client area; this one keeps its whole
    // rectangle, so that what OnPaint draws there can be seen.
    LRESULT OnNcCalcSize(WPARAM, LPARAM) { return ::IsIconic(m_hWnd) ? 0 : Default(); }

    LRESULT OnTimer(WPARAM wParam, LPARAM)
    {
        if (wParam == kWatchdogTimer) {
            ADD_FAILURE() << "scenario did not end";
            EndDialog(IDABORT);
        }
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

const MsgMapEntry CScenarioDlg::messageEntries[] = {
    msgmap::OnMessage<kRunScenario, &CScenarioDlg::OnRun>(),
    msgmap::OnMessage<WM_TIMER, &CScenarioDlg::OnTimer>(),
    msgmap::OnMessage<WM_NCCALCSIZE, &CScenarioDlg::OnNcCalcSize>(),
};
const MessageMap CScenarioDlg::messageMap = {&CTiermoDlg::messageMap, messageEntries};

void RunScenario(const std::function<void(CScenarioDlg&)>& scenario)
{
    CScenarioDlg dlg;
    dlg.m_scenario = scenario;
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(dlg.m_bRan);
}

HICON OwnIcon(UINT id) { return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)); }
HCURSOR OwnCursor(UINT id)
{
    return ::LoadCursorA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}
HICON ShownIcon(HWND icon) { return HICON(::SendMessageA(icon, STM_GETICON, 0, 0)); }
using driver::IsTopmost;
POINT CenterOf(HWND h) { return driver::Center(driver::WindowRect(h)); }

LPARAM ClientPoint(HWND h, POINT screen)
{
    ::ScreenToClient(h, &screen);
    return MAKELPARAM(short(screen.x), short(screen.y));
}

// Mouse messages as the system sends them to the icon under the pointer or
// holding the capture; points are screen points.
void Press(HWND icon) { ::SendMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4)); }
void MoveOver(HWND icon, POINT pt)
{
    ::SendMessageA(icon, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(icon, pt));
}
void Release(HWND icon, POINT pt) { ::SendMessageA(icon, WM_LBUTTONUP, 0, ClientPoint(icon, pt)); }
void Drop(HWND icon, POINT pt)
{
    Press(icon);
    Release(icon, pt);
}
void RightPress(HWND icon, POINT pt)
{
    ::SendMessageA(icon, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, ClientPoint(icon, pt));
}

// A plain top-level window of this thread (or another) with a child control,
// that counts the caption flashes it receives.
constexpr const char* kTargetClass = "TiermoTestTarget";
std::atomic<int> g_ncActivates{0};

LRESULT CALLBACK TargetProc(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_NCACTIVATE)
        ++g_ncActivates;
    return ::DefWindowProcA(h, msg, w, l);
}

// A visible window of that class (registered on first use), by default at the
// desktop's top-left corner, away from the centred dialog.
HWND CreateTarget(const char* caption, DWORD style = WS_OVERLAPPEDWINDOW, HWND owner = nullptr,
                  int x = 10, int y = 10, int cx = 300, int cy = 200)
{
    static const ATOM atom = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TargetProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
        wc.lpszClassName = kTargetClass;
        return ::RegisterClassA(&wc);
    }();
    return atom ? ::CreateWindowExA(0, kTargetClass, caption, style | WS_VISIBLE, x, y, cx, cy,
                                    owner, nullptr, ::GetModuleHandleA(nullptr), nullptr)
                : nullptr;
}

// Owner of a target window and its edit child.
class Target {
public:
    Target()
    {
        m_hWnd = CreateTarget("Target");
        m_hEdit = ::CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 200,
                                    80, m_hWnd, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ::UpdateWindow(m_hWnd);
    }
    ~Target()
    {
        if (m_hWnd)
            ::DestroyWindow(m_hWnd);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    HWND m_hWnd = nullptr;
    HWND m_hEdit = nullptr;
};

// ------------------------------------------------------------------ pure parts

TEST(IconPosition, OddExtraPixelGoesToTheLeftAndTopMargins)
{
    EXPECT_EQ(CTiermoDlg::IconPosition(37, 37, 32, 32), CPoint(3, 3)); // difference 5
    EXPECT_EQ(CTiermoDlg::IconPosition(36, 33, 32, 32), CPoint(2, 1)); // 4 and 1
    EXPECT_EQ(CTiermoDlg::IconPosition(32, 32, 32, 32), CPoint(0, 0));
    EXPECT_EQ(CTiermoDlg::IconPosition(200, 37, 32, 16), CPoint(84, 11)); // x and y apart
}

TEST(IconPosition, SmallerClientThanIconTruncatesTowardZero)
{
    EXPECT_EQ(CTiermoDlg::IconPosition(27, 28, 32, 32), CPoint(-2, -1)); // -5, -4
    EXPECT_EQ(CTiermoDlg::IconPosition(31, 26, 32, 32), CPoint(0, -2));  // -1, -6
    EXPECT_EQ(CTiermoDlg::IconPosition(0, 0, 32, 32), CPoint(-15, -15));
}

// ------------------------------------------------------------------ the dialog

TEST(MainDialog, WindowIconsAndDragIconAreTheApplicationIcon)
{
    RunScenario([](CScenarioDlg& dlg) {
        const HICON app = OwnIcon(IDI_APP);
        ASSERT_NE(app, nullptr);
        EXPECT_EQ(HICON(dlg.SendMessage(WM_GETICON, ICON_BIG)), app);
        EXPECT_EQ(HICON(dlg.SendMessage(WM_GETICON, ICON_SMALL)), app);
        EXPECT_EQ(HICON(dlg.SendMessage(WM_QUERYDRAGICON)), app);
        EXPECT_FALSE(IsTopmost(dlg.m_hWnd));
        EXPECT_TRUE(::GetWindowLongA(dlg.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    });
}

TEST(MainDialog, SizeAndMaximizeCommandsChangeNothingMoveMinimizeAndRestoreWork)
{
    RunScenario([](CScenarioDlg& dlg) {
        RECT before;
        ::GetWindowRect(dlg.m_hWnd, &before);
        dlg.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        EXPECT_FALSE(::IsZoomed(dlg.m_hWnd));
        dlg.SendMessage(WM_SYSCOMMAND, SC_SIZE, 0);
        RECT after;
        ::GetWindowRect(dlg.m_hWnd, &after);
        EXPECT_TRUE(::EqualRect(&before, &after));

        // Minimised, the dialog paints its icon itself (placed as IconPosition
        // says: drawing it there again changes no pixel) and validates what it
        // painted; restored it is as before.
        dlg.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(::IsIconic(dlg.m_hWnd));
        ::RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_FALSE(::GetUpdateRect(dlg.m_hWnd, nullptr, FALSE));
        RECT client;
        ::GetClientRect(dlg.m_hWnd, &client);
        const CPoint at =
            CTiermoDlg::IconPosition(client.right, client.bottom, ::GetSystemMetrics(SM_CXICON),
                                     ::GetSystemMetrics(SM_CYICON));
        HDC dc = ::GetDC(dlg.m_hWnd);
        auto pixels = [&] {
            std::vector<COLORREF> all;
            for (int y = 0; y < client.bottom; ++y)
                for (int x = 0; x < client.right; ++x)
                    all.push_back(::GetPixel(dc, x, y));
            return all;
        };
        const std::vector<COLORREF> painted = pixels();
        ::DrawIcon(dc, at.x, at.y, OwnIcon(IDI_APP));
        EXPECT_TRUE(driver::SamePixels(painted, pixels()));
        ::ReleaseDC(dlg.m_hWnd, dc);
        dlg.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_FALSE(::IsIconic(dlg.m_hWnd));
        ::GetWindowRect(dlg.m_hWnd, &after);
        EXPECT_TRUE(::EqualRect(&before, &after));

        // Move is not filtered with them: the system's move loop runs and takes
        // the key that ends it, which would otherwise still be queued.
        dlg.PostMessage(WM_KEYDOWN, VK_ESCAPE, 0);
        dlg.SendMessage(WM_SYSCOMMAND, SC_MOVE, 0);
        MSG key;
        EXPECT_FALSE(::PeekMessageA(&key, dlg.m_hWnd, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    });
}

TEST(MainDialog, OpensCentredOnTheWorkArea)
{
    RunScenario([](CScenarioDlg& dlg) {
        RECT work, r;
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        ::GetWindowRect(dlg.m_hWnd, &r);
        EXPECT_LE(std::abs((r.left + r.right) - (work.left + work.right)), 2);
        EXPECT_LE(std::abs((r.top + r.bottom) - (work.top + work.bottom)), 2);
    });
}

// The size in dialog units that the template IDD_MAIN gives the dialog.
SIZE TemplateSize()
{
    const HMODULE module = ::GetModuleHandleA(nullptr);
    const HRSRC res = ::FindResourceA(module, MAKEINTRESOURCEA(IDD_MAIN), RT_DIALOG);
    const auto* words =
        res ? static_cast<const WORD*>(::LockResource(::LoadResource(module, res))) : nullptr;
    if (!words)
        return {0, 0};
    // DLGTEMPLATEEX: version, 0xFFFF, help ID, extended style, style, item count,
    // x, y, cx, cy; DLGTEMPLATE: style, extended style, item count, x, y, cx, cy.
    const auto* sizes = reinterpret_cast<const short*>(words + (words[1] == 0xFFFF ? 11 : 7));
    return {sizes[0], sizes[1]};
}

// The dialog has the template's font, "MS Sans Serif" 8 pt (a Wine prefix
// without Wine's sserife.fon gives another one), and the template's size in
// that font's dialog base units, with its frame and caption around it.
TEST(MainDialog, HasTheTemplatesFontAndTheSizeItGives)
{
    RunScenario([](CScenarioDlg& dlg) {
        const HFONT font = HFONT(dlg.SendMessage(WM_GETFONT));
        ASSERT_NE(font, nullptr);
        HDC dc = ::GetDC(dlg.m_hWnd);
        const HGDIOBJ old = ::SelectObject(dc, font);
        char face[LF_FACESIZE] = {};
        ::GetTextFaceA(dc, sizeof face, face);
        ::SelectObject(dc, old);
        ::ReleaseDC(dlg.m_hWnd, dc);
        EXPECT_STREQ(face, "MS Sans Serif");

        const SIZE units = TemplateSize();
        ASSERT_GT(units.cx, 0);
        RECT expected{0, 0, units.cx, units.cy};
        ASSERT_TRUE(::MapDialogRect(dlg.m_hWnd, &expected));
        ::AdjustWindowRectEx(&expected, DWORD(::GetWindowLongA(dlg.m_hWnd, GWL_STYLE)), FALSE,
                             DWORD(::GetWindowLongA(dlg.m_hWnd, GWL_EXSTYLE)));
        RECT r;
        ::GetWindowRect(dlg.m_hWnd, &r);
        EXPECT_EQ(r.right - r.left, expected.right - expected.left);
        EXPECT_EQ(r.bottom - r.top, expected.bottom - expected.top);
        RECT unit{0, 0, 4, 8};
        ::MapDialogRect(dlg.m_hWnd, &unit);
        printf("main dialog: font \"%s\", dialog base units %ldx%ld, window %ldx%ld\n", face,
               unit.right, unit.bottom, r.right - r.left, r.bottom - r.top);
    });
}

// ------------------------------------------------------------------ drag icons

TEST(DragIcon, HoverCursorAtRestDragCursorWhileDragging)
{
    RunScenario([](CScenarioDlg& dlg) {
        for (int id : {IDC_TOP, IDC_BOTTOM, IDC_NORMAL}) {
            const HWND icon = dlg.Item(id);
            ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
            EXPECT_TRUE(::SendMessageA(icon, WM_SETCURSOR, WPARAM(icon),
                                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
            EXPECT_EQ(::GetCursor(), OwnCursor(IDC_POSITION_HOVER)) << id;

            // Moves without a drag leave the cursor alone.
            ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
            MoveOver(icon, CenterOf(icon));
            EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_ARROW)) << id;

            Press(icon);
            EXPECT_EQ(::GetCapture(), icon) << id;
            EXPECT_EQ(::GetCursor(), OwnCursor(IDC_POSITION_DRAG)) << id;
            EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION_EMPTY)) << id;

            // Every move of a drag renews the drag cursor.
            ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
            MoveOver(icon, POINT{5, 5});
            EXPECT_EQ(::GetCursor(), OwnCursor(IDC_POSITION_DRAG)) << id;

            RightPress(icon, POINT{5, 5});
            EXPECT_EQ(::GetCapture(), nullptr) << id;
            EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION)) << id;
        }
    });
}

TEST(DragIcon, CaptureTakenByAnotherWindowEndsTheDragWithoutAction)
{
    Target target;
    RunScenario([&](CScenarioDlg& dlg) {
        const HWND icon = dlg.Item(IDC_TOP);
        Press(icon);
        ASSERT_EQ(::GetCapture(), icon);

        ::SetCapture(dlg.Item(IDC_BOTTOM));
        EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION));
        EXPECT_EQ(ShownIcon(dlg.Item(IDC_BOTTOM)), OwnIcon(IDI_POSITION));
        ::ReleaseCapture();

        // The release that follows is not a drop.
        Release(icon, CenterOf(target.m_hEdit));
        EXPECT_FALSE(IsTopmost(target.m_hWnd));
        EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION));
    });
}

TEST(DragIcon, CaptureCancelledBySystemEndsTheDragWithoutAction)
{
    Target target;
    RunScenario([&](CScenarioDlg& dlg) {
        const HWND icon = dlg.Item(IDC_NORMAL);
        ::SetWindowPos(target.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        Press(icon);
        ASSERT_EQ(::GetCapture(), icon);
        ::ReleaseCapture(); // as when the system cancels the capture
        EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION));

        Release(icon, CenterOf(target.m_hWnd));
        RightPress(icon, CenterOf(target.m_hWnd));
        EXPECT_TRUE(IsTopmost(target.m_hWnd));
        EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION));
    });
}

TEST(DragIcon, RightButtonCancelsAndTheFollowingReleaseDoesNothing)
{
    Target target;
    RunScenario([&](CScenarioDlg& dlg) {
        const HWND icon = dlg.Item(IDC_TOP);
        // Right button with no drag: nothing.
        RightPress(icon, CenterOf(icon));
        EXPECT_EQ(::GetCapture(), nullptr);
        EXPECT_EQ(ShownIcon(icon), ShownIcon(dlg.Item(IDC_BOTTOM)));

        Press(icon);
        MoveOver(icon, CenterOf(target.m_hWnd));
        RightPress(icon, CenterOf(target.m_hWnd));
        EXPECT_EQ(::GetCapture(), nullptr);
        EXPECT_EQ(ShownIcon(icon), OwnIcon(IDI_POSITION));

        g_ncActivates = 0;
        Release(icon, CenterOf(target.m_hWnd));
        EXPECT_FALSE(IsTopmost(target.m_hWnd));
        EXPECT_EQ(g_ncActivates, 0);
    });
}

TEST(DragIcon, DropOnAChildControlAppliesToItsTopLevelWindowAfterTwoFlashes)
{
    Target target;
    RunScenario([&](CScenarioDlg& dlg) {
        const HWND top = dlg.Item(IDC_TOP);
        RECT before;
        ::GetWindowRect(target.m_hWnd, &before);
        const HWND active = ::GetActiveWindow();

        g_ncActivates = 0;
        Press(top);
        MoveOver(top, CenterOf(target.m_hEdit));
        const DWORD start = ::GetTickCount();
        Release(top, CenterOf(target.m_hEdit));
        const DWORD took = ::GetTickCount() - start;

        EXPECT_TRUE(IsTopmost(target.m_hWnd));
        EXPECT_EQ(::GetCapture(), nullptr);
        EXPECT_EQ(ShownIcon(top), OwnIcon(IDI_POSITION));
        EXPECT_EQ(g_ncActivates, 2); // invert, then back
        EXPECT_GE(took, 2 * droprules::kFlashWaitMs);
        EXPECT_LT(took, 2000u);
        // Only the order changed: not moved, sized or activated.
        RECT after;
        ::GetWindowRect(target.m_hWnd, &after);
        EXPECT_TRUE(::EqualRect(&before, &after));
        EXPECT_EQ(::GetActiveWindow(), active);

        Drop(dlg.Item(IDC_NORMAL), CenterOf(target.m_hWnd));
        EXPECT_FALSE(IsTopmost(target.m_hWnd));

        Drop(dlg.Item(IDC_BOTTOM), CenterOf(target.m_hEdit));
        EXPECT_TRUE(driver::IsAbove(dlg.m_hWnd, target.m_hWnd));
        EXPECT_EQ(::GetWindow(target.m_hWnd, GW_HWNDNEXT), nullptr);
    });
}

TEST(DragIcon, DropOnAnOwnedPopupClimbsToItsOwner)
{
    Target owner;
    RunScenario([&](CScenarioDlg& dlg) {
        HWND popup = CreateTarget("Popup", WS_POPUP | WS_CAPTION, owner.m_hWnd, 40, 60, 150, 100);
        ASSERT_NE(popup, nullptr);
        Drop(dlg.Item(IDC_BOTTOM), CenterOf(popup));
        // The owner went to the bottom, and the system keeps the pop-up above it.
        EXPECT_EQ(::GetWindow(owner.m_hWnd, GW_HWNDNEXT), nullptr);
        EXPECT_TRUE(driver::IsAbove(dlg.m_hWnd, owner.m_hWnd));
        ::DestroyWindow(popup);
    });
}

TEST(DragIcon, ClickOnAnIconAndDropsOnIconsOrButtonsTouchNothing)
{
    RunScenario([](CScenarioDlg& dlg) {
        const HWND top = dlg.Item(IDC_TOP);
        g_ncActivates = 0;
        for (int onto : {IDC_TOP, IDC_BOTTOM, IDC_NORMAL, IDOK, IDC_CMD_APP_ABOUT}) {
            Press(top);
            EXPECT_EQ(ShownIcon(top), OwnIcon(IDI_POSITION_EMPTY));
            Release(top, CenterOf(dlg.Item(onto)));
            EXPECT_EQ(::GetCapture(), nullptr) << onto;
            EXPECT_EQ(ShownIcon(top), OwnIcon(IDI_POSITION)) << onto;
            EXPECT_FALSE(IsTopmost(dlg.m_hWnd)) << onto;
        }
    });
}

TEST(DragIcon, DropOnALabelOrTheCaptionAppliesToTheDialogItself)
{
    RunScenario([](CScenarioDlg& dlg) {
        const HWND label = ::FindWindowExA(dlg.m_hWnd, nullptr, "Static", "Top");
        ASSERT_NE(label, nullptr);
        Drop(dlg.Item(IDC_TOP), CenterOf(label));
        EXPECT_TRUE(IsTopmost(dlg.m_hWnd));

        RECT r;
        ::GetWindowRect(dlg.m_hWnd, &r);
        const POINT caption{(r.left + r.right) / 2, r.top + ::GetSystemMetrics(SM_CYFRAME) +
                                                        ::GetSystemMetrics(SM_CYCAPTION) / 2};
        ASSERT_EQ(::WindowFromPoint(caption), dlg.m_hWnd);
        Drop(dlg.Item(IDC_NORMAL), caption);
        EXPECT_FALSE(IsTopmost(dlg.m_hWnd));
    });
}

TEST(DragIcon, DropOutsideTheScreenIsHarmless)
{
    RunScenario([](CScenarioDlg& dlg) {
        const HWND top = dlg.Item(IDC_TOP);
        Drop(top, POINT{-30000, -30000});
        EXPECT_EQ(::GetCapture(), nullptr);
        EXPECT_EQ(ShownIcon(top), OwnIcon(IDI_POSITION));
        EXPECT_FALSE(IsTopmost(dlg.m_hWnd));
    });
}

// A target window on a thread that stops pumping messages on request.
class HungTarget {
public:
    HungTarget()
    {
        m_release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = ::CreateThread(nullptr, 0, &HungTarget::Main, this, 0, nullptr);
        ::WaitForSingleObject(m_ready, 5000);
    }
    ~HungTarget()
    {
        ::SetEvent(m_release);
        if (m_hWnd)
            ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        ::WaitForSingleObject(m_thread, 5000);
        ::CloseHandle(m_thread);
        ::CloseHandle(m_ready);
        ::CloseHandle(m_release);
    }
    HungTarget(const HungTarget&) = delete;
    HungTarget& operator=(const HungTarget&) = delete;

    // The thread blocks in its window procedure until Recover (or 5 s).
    void Hang()
    {
        ::ResetEvent(m_ready);
        ::PostMessageA(m_hWnd, kHang, 0, 0);
        ::WaitForSingleObject(m_ready, 5000);
    }
    void Recover() { ::SetEvent(m_release); }

    HWND m_hWnd = nullptr;

private:
    static constexpr UINT kHang = WM_APP + 20;
    static constexpr DWORD kMaxHangMs = 5000;

    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l)
    {
        if (msg == kHang) {
            auto* self = reinterpret_cast<HungTarget*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
            ::SetEvent(self->m_ready);
            ::WaitForSingleObject(self->m_release, kMaxHangMs);
            return 0;
        }
        if (msg == WM_CLOSE) {
            ::DestroyWindow(h);
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcA(h, msg, w, l);
    }

    static DWORD WINAPI Main(void* p)
    {
        auto* self = static_cast<HungTarget*>(p);
        self->m_hWnd = CreateTarget("Hung");
        ::SetWindowLongPtrA(self->m_hWnd, GWLP_USERDATA, LONG_PTR(self));
        ::SetWindowLongPtrA(self->m_hWnd, GWLP_WNDPROC, LONG_PTR(&HungTarget::Proc));
        ::SetEvent(self->m_ready);
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&msg);
        return 0;
    }

    HANDLE m_release = nullptr;
    HANDLE m_ready = nullptr;
    HANDLE m_thread = nullptr;
};

TEST(DragIcon, DropOnAWindowThatStoppedRespondingDoesNotBlock)
{
    HungTarget target;
    ASSERT_NE(target.m_hWnd, nullptr);
    RunScenario([&](CScenarioDlg& dlg) {
        target.Hang();
        const HWND top = dlg.Item(IDC_TOP);
        Press(top);
        const DWORD start = ::GetTickCount();
        Release(top, CenterOf(target.m_hWnd));
        const DWORD took = ::GetTickCount() - start;
        // Asked for an answer (250 ms), then no flash and no waiting.
        EXPECT_GE(took, droprules::kAnswerTimeoutMs - 20);
        EXPECT_LT(took, 2000u);
        EXPECT_EQ(ShownIcon(top), OwnIcon(IDI_POSITION));

        // Once the application recovers, the change it was sent takes effect.
        target.Recover();
        EXPECT_TRUE(driver::WaitUntil([&] { return IsTopmost(target.m_hWnd); }, 3000));
    });
}

} // namespace
