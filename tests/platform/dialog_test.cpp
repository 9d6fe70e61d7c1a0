// Modal dialogs: the modal loop, command routing to the owner and the
// application, data exchange, the help button, centring, and F1.
#include "PlatformTest.h"
#include "platform_test_res.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace ptest;

constexpr UINT kMsgProbe = WM_APP + 20;
constexpr LRESULT kProbeResult = 42;
constexpr UINT kMissingTemplate = 4242;
constexpr int kEndedInInit = 77;

// Owner rectangle in the middle of the 1024x768 desktop, and a small one in
// its top-left corner, over which a dialog cannot be centred on the screen.
const CRect kOwnerRect(300, 200, 800, 600);
const CRect kCornerOwnerRect(0, 0, 60, 40);

CRect WorkArea()
{
    CRect rc;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
    return rc;
}

bool Near(int expected, int actual) { return std::abs(expected - actual) <= 1; }

// Whether rc is centred over `over`, to the pixel.
::testing::AssertionResult CentredOver(const CRect& rc, const CRect& over)
{
    const int x = over.left + (over.Width() - rc.Width()) / 2;
    const int y = over.top + (over.Height() - rc.Height()) / 2;
    if (Near(x, rc.left) && Near(y, rc.top))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "window at (" << rc.left << ", " << rc.top << ") size " << rc.Width() << "x"
           << rc.Height() << ", expected (" << x << ", " << y << ")";
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp().m_commands.clear();
        TestApp().m_bHelpEnabled = true;
        TestApp().m_pMainWnd = nullptr;
    }
    void TearDown() override
    {
        TestApp().m_pMainWnd = nullptr;
        TestApp().m_bHelpEnabled = true;
    }

    static bool Contains(const std::vector<UINT>& v, UINT id)
    {
        return std::find(v.begin(), v.end(), id) != v.end();
    }
};

TEST_F(DialogTest, ModalLoopDisablesTheOwnerAndEndsWithTheCommand)
{
    CTestMainWnd owner;
    ASSERT_TRUE(owner.Create(kOwnerRect));
    CScriptDialog dlg(IDD_TEST_CENTRED, &owner);
    bool bOwnerEnabledDuring = true;
    HWND hDialog = nullptr;
    dlg.AddAction([&](CScriptDialog& d) {
        bOwnerEnabledDuring = ::IsWindowEnabled(owner.m_hWnd);
        hDialog = d.m_hWnd;
        EXPECT_EQ(owner.m_hWnd, ::GetWindow(d.m_hWnd, GW_OWNER));
        d.PostMessage(WM_COMMAND, IDCANCEL);
    });
    dlg.AddStep([](CScriptDialog&) { return false; }); // ended by IDCANCEL
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_FALSE(bOwnerEnabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
    EXPECT_FALSE(::IsWindow(hDialog));
    EXPECT_EQ(nullptr, dlg.m_hWnd);

    // Again with the same object, ended by IDOK.
    CScriptDialog again(IDD_TEST_CENTRED, &owner);
    again.AddAction([](CScriptDialog& d) { d.PostMessage(WM_COMMAND, IDOK); });
    again.AddStep([](CScriptDialog&) { return false; });
    EXPECT_EQ(IDOK, again.DoModal());
    EXPECT_EQ(IDOK, again.DoModal());
}

class CEndsInInitDialog : public CDialog {
public:
    using CDialog::CDialog;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        EndDialog(kEndedInInit);
        return TRUE;
    }
};

TEST_F(DialogTest, DialogsThatCannotRunReturnAtOnce)
{
    CTestMainWnd owner;
    ASSERT_TRUE(owner.Create(kOwnerRect));
    CDialog missing(kMissingTemplate, &owner);
    EXPECT_EQ(-1, missing.DoModal());
    EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));

    CEndsInInitDialog ends(IDD_TEST_CENTRED, &owner);
    EXPECT_EQ(kEndedInInit, ends.DoModal());
    EXPECT_EQ(nullptr, ends.m_hWnd);
    EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
}

TEST_F(DialogTest, UnhandledCommandsGoToTheOwnerThenTheApplication)
{
    CTestMainWnd owner;
    ASSERT_TRUE(owner.Create(kOwnerRect));
    CScriptDialog dlg(IDD_TEST_CENTRED, &owner);
    dlg.AddAction([](CScriptDialog& d) {
        // What must not arrive is posted first: once the rest has arrived,
        // these have been handled too.
        d.PostMessage(WM_COMMAND, kCmdControlRange);
        d.PostMessage(WM_COMMAND, MAKEWPARAM(kCmdAppOnly, BN_DOUBLECLICKED),
                      LPARAM(::GetDlgItem(d.m_hWnd, IDOK)));
        d.PostMessage(WM_COMMAND, kCmdAppOnly);
        d.PostMessage(WM_COMMAND, kCmdOwnerAndApp);
        d.PostMessage(WM_COMMAND, ID_APP_ABOUT);
    });
    dlg.AddStep(
        [](CScriptDialog&) { return DialogTest::Contains(TestApp().m_commands, ID_APP_ABOUT); });
    ASSERT_EQ(CScriptDialog::kScriptDone, dlg.DoModal());
    EXPECT_EQ((std::vector<UINT>{kCmdAppOnly, ID_APP_ABOUT}), TestApp().m_commands);
    EXPECT_EQ(std::vector<UINT>{kCmdOwnerAndApp}, owner.m_commands);

    // Without an owner, the application gets it.
    TestApp().m_commands.clear();
    CScriptDialog alone(IDD_TEST_CENTRED);
    alone.AddAction([](CScriptDialog& d) { d.PostMessage(WM_COMMAND, kCmdOwnerAndApp); });
    alone.AddStep([](CScriptDialog&) { return !TestApp().m_commands.empty(); });
    ASSERT_EQ(CScriptDialog::kScriptDone, alone.DoModal());
    EXPECT_EQ(std::vector<UINT>{kCmdOwnerAndApp}, TestApp().m_commands);
}

// An edit control attached by DDX_Control, with a map of its own.
class CProbeEdit : public CEdit {
public:
    LRESULT OnProbe(WPARAM, LPARAM) { return kProbeResult; }

    DECLARE_MESSAGE_MAP()
};

const MsgMapEntry CProbeEdit::messageEntries[] = {
    msgmap::OnMessage<kMsgProbe, &CProbeEdit::OnProbe>(),
};
const MessageMap CProbeEdit::messageMap = {&CEdit::messageMap, messageEntries};

class CDdxDialog : public CScriptDialog {
public:
    CDdxDialog() : CScriptDialog(IDD_TEST_DDX) {}
    CProbeEdit m_edit;
    CString m_strEdit;
    CString m_strLabel;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_TEST_EDIT, m_edit);
        DDX_Text(pDX, IDC_TEST_EDIT, m_strEdit);
        DDX_Text(pDX, IDC_TEST_LABEL, m_strLabel);
        CString unused("ignored");
        DDX_Text(pDX, 9999, unused); // no such control
    }
};

CString DlgItemText(HWND hDlg, int nID)
{
    CString s;
    HWND h = ::GetDlgItem(hDlg, nID);
    int n = ::GetWindowTextLengthA(h);
    ::GetWindowTextA(h, s.GetBufferSetLength(n + 1), n + 1);
    s.ReleaseBuffer();
    return s;
}

TEST_F(DialogTest, DataExchangeBothWaysAndControlsReachTheirMembers)
{
    const std::string longText(6000, 'L');
    CDdxDialog dlg;
    dlg.m_strEdit = "first";
    dlg.m_strLabel = longText.c_str();
    HWND hEdit = nullptr;
    dlg.AddAction([&](CScriptDialog& d) {
        hEdit = ::GetDlgItem(d.m_hWnd, IDC_TEST_EDIT);
        EXPECT_EQ(hEdit, dlg.m_edit.m_hWnd);
        EXPECT_EQ(&dlg.m_edit, CWnd::FromHandle(hEdit));
        EXPECT_EQ(kProbeResult, ::SendMessageA(hEdit, kMsgProbe, 0, 0));
        EXPECT_STREQ("first", DlgItemText(d.m_hWnd, IDC_TEST_EDIT));
        EXPECT_EQ(longText.size(), size_t(DlgItemText(d.m_hWnd, IDC_TEST_LABEL).GetLength()));

        // A second exchange leaves the attachment as it was.
        dlg.m_strEdit = "second";
        d.UpdateData(FALSE);
        EXPECT_STREQ("second", DlgItemText(d.m_hWnd, IDC_TEST_EDIT));
        EXPECT_EQ(kProbeResult, ::SendMessageA(hEdit, kMsgProbe, 0, 0));

        // The edit still behaves as an edit.
        ::SendMessageA(hEdit, EM_SETSEL, 0, -1);
        ::SendMessageA(hEdit, EM_REPLACESEL, FALSE, LPARAM("typed text"));
        ::SetDlgItemTextA(d.m_hWnd, IDC_TEST_LABEL, "");
        d.PostMessage(WM_COMMAND, IDOK);
    });
    dlg.AddStep([](CScriptDialog&) { return false; });
    ASSERT_EQ(IDOK, dlg.DoModal());
    EXPECT_STREQ("typed text", dlg.m_strEdit);
    EXPECT_EQ(10, dlg.m_strEdit.GetLength());
    EXPECT_TRUE(dlg.m_strLabel.IsEmpty());
    EXPECT_EQ(nullptr, dlg.m_edit.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hEdit));
}

// Whether the help button of IDD_TEST_HELP_BUTTON is shown, with pMain as the
// main window.
bool HelpButtonShown(CWnd* pMain)
{
    ScopedMainWnd scoped(pMain);
    CScriptDialog dlg(IDD_TEST_HELP_BUTTON);
    bool bShown = false;
    dlg.AddAction([&](CScriptDialog& d) {
        bShown =
            (::GetWindowLongA(::GetDlgItem(d.m_hWnd, IDC_TEST_HELP), GWL_STYLE) & WS_VISIBLE) != 0;
    });
    EXPECT_EQ(CScriptDialog::kScriptDone, dlg.DoModal());
    return bShown;
}

TEST_F(DialogTest, HelpButtonShownOnlyWhenAHandlerIsReachable)
{
    CTestMainWnd main;
    ASSERT_TRUE(main.Create(kOwnerRect));

    TestApp().m_bHelpEnabled = true;
    main.m_bHelpEnabled = true;
    EXPECT_TRUE(HelpButtonShown(nullptr)) << "application handler";
    EXPECT_TRUE(HelpButtonShown(&main)) << "both";
    main.m_bHelpEnabled = false;
    EXPECT_TRUE(HelpButtonShown(&main)) << "application handler, main window without";

    TestApp().m_bHelpEnabled = false;
    EXPECT_FALSE(HelpButtonShown(nullptr)) << "no handler";
    EXPECT_FALSE(HelpButtonShown(&main)) << "no handler";
    main.m_bHelpEnabled = true;
    EXPECT_TRUE(HelpButtonShown(&main)) << "main window handler";
}

TEST_F(DialogTest, HelpButtonCommandReachesTheApplication)
{
    CScriptDialog dlg(IDD_TEST_HELP_BUTTON);
    dlg.AddAction([](CScriptDialog& d) {
        ::SendMessageA(::GetDlgItem(d.m_hWnd, IDC_TEST_HELP), BM_CLICK, 0, 0);
    });
    dlg.AddStep([](CScriptDialog&) { return !TestApp().m_commands.empty(); });
    ASSERT_EQ(CScriptDialog::kScriptDone, dlg.DoModal());
    EXPECT_EQ(std::vector<UINT>{ID_HELP}, TestApp().m_commands);
}

// Window rectangle of a dialog right after it was initialised.
CRect RectAfterInit(UINT nIDTemplate, CWnd* pOwner)
{
    CScriptDialog dlg(nIDTemplate, pOwner);
    CRect rc;
    dlg.AddAction([&](CScriptDialog& d) { rc = d.WindowRect(); });
    EXPECT_EQ(CScriptDialog::kScriptDone, dlg.DoModal());
    return rc;
}

TEST_F(DialogTest, CentredOnTheWorkAreaWithoutAnOwner)
{
    const CRect area = WorkArea();
    const CRect rc = RectAfterInit(IDD_TEST_CENTRED, nullptr);
    ASSERT_GT(rc.Width(), 0);
    EXPECT_TRUE(CentredOver(rc, area));
    const CRect classic = RectAfterInit(IDD_TEST_CENTRED_CLASSIC, nullptr);
    EXPECT_TRUE(CentredOver(classic, area));

    // A placed template stays where it is placed.
    const CRect placed = RectAfterInit(IDD_TEST_PLACED, nullptr);
    EXPECT_FALSE(CentredOver(placed, area));
    EXPECT_LT(placed.left, area.left + area.Width() / 4);
}

TEST_F(DialogTest, CentredOverAVisibleOwnerElseOnTheWorkArea)
{
    const CRect area = WorkArea();
    CTestMainWnd owner;
    ASSERT_TRUE(owner.Create(kOwnerRect));
    EXPECT_TRUE(CentredOver(RectAfterInit(IDD_TEST_CENTRED, &owner), kOwnerRect));
    EXPECT_TRUE(CentredOver(RectAfterInit(IDD_TEST_CENTRED_CLASSIC, &owner), kOwnerRect));

    // The main window is the owner when none is named.
    {
        ScopedMainWnd scoped(&owner);
        EXPECT_TRUE(CentredOver(RectAfterInit(IDD_TEST_CENTRED, nullptr), kOwnerRect));
    }

    owner.ShowWindow(SW_MINIMIZE);
    EXPECT_TRUE(CentredOver(RectAfterInit(IDD_TEST_CENTRED, &owner), area)) << "minimised";
    owner.ShowWindow(SW_HIDE);
    EXPECT_TRUE(CentredOver(RectAfterInit(IDD_TEST_CENTRED, &owner), area)) << "hidden";

    // Over an owner in the corner the dialog is kept on the work area.
    CTestMainWnd corner;
    ASSERT_TRUE(corner.Create(kCornerOwnerRect));
    CRect rc = RectAfterInit(IDD_TEST_CENTRED, &corner);
    EXPECT_EQ(area.left, rc.left);
    EXPECT_EQ(area.top, rc.top);
}

// Moves itself during initialisation: the framework must leave it there.
class CMovesItselfDialog : public CScriptDialog {
public:
    using CScriptDialog::CScriptDialog;
    static constexpr int kPos = 17;

protected:
    BOOL OnInitDialog() override
    {
        BOOL b = CScriptDialog::OnInitDialog();
        ::SetWindowPos(m_hWnd, nullptr, kPos, kPos, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        return b;
    }
};

TEST_F(DialogTest, NotCentredWhenMovedDuringInitialisation)
{
    CMovesItselfDialog dlg(IDD_TEST_CENTRED);
    CRect rc;
    dlg.AddAction([&](CScriptDialog& d) { rc = d.WindowRect(); });
    ASSERT_EQ(CScriptDialog::kScriptDone, dlg.DoModal());
    EXPECT_EQ(CMovesItselfDialog::kPos, rc.left);
    EXPECT_EQ(CMovesItselfDialog::kPos, rc.top);
}

TEST(CentrePosition, CentresThenKeepsInsideTheLimit)
{
    const CRect limit(0, 0, 1024, 768);
    const CRect box(0, 0, 200, 100);
    EXPECT_EQ(CPoint(412, 334), AfxCenterPosition(box, limit, limit));
    EXPECT_EQ(CPoint(150, 175), AfxCenterPosition(box, CRect(100, 100, 400, 350), limit));
    // Over a window at an edge: pushed back inside.
    EXPECT_EQ(CPoint(0, 0), AfxCenterPosition(box, CRect(-300, -300, 10, 10), limit));
    EXPECT_EQ(CPoint(824, 668), AfxCenterPosition(box, CRect(1000, 700, 1300, 900), limit));
    // Larger than the limit: the top-left corner stays visible.
    EXPECT_EQ(CPoint(0, 0), AfxCenterPosition(CRect(0, 0, 2000, 1000), limit, limit));
    // A limit that does not start at the origin (a second monitor).
    const CRect left(-1280, 0, 0, 1024);
    EXPECT_EQ(CPoint(-740, 462), AfxCenterPosition(box, left, left));
    EXPECT_EQ(CPoint(-200, 0), AfxCenterPosition(box, CRect(-50, -50, 50, 50), left));
}

// Where USER32 lacks GetAncestor and the monitor functions (Windows 95 and
// NT 4.0), the fallbacks give what the real calls give: the top-level window
// of a deep child (F1 goes there), and the work area a dialog is centred on.
TEST_F(DialogTest, WithoutTheNewerUserFunctionsTheFallbacksAnswerTheSame)
{
    CTestMainWnd owner;
    ASSERT_TRUE(owner.Create(kOwnerRect));
    HWND hChild = owner.m_hWnd;
    for (int depth = 0; depth < 3; ++depth)
        hChild = ::CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, hChild, nullptr,
                                   nullptr, nullptr);
    HWND hPopup = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, owner.m_hWnd,
                                    nullptr, nullptr, nullptr);
    ASSERT_TRUE(hChild && hPopup);
    const HWND windows[] = {hChild, ::GetParent(hChild), owner.m_hWnd, hPopup, HWND(0x1234)};

    ASSERT_TRUE(NewerUser().GetAncestor && NewerUser().MonitorFromWindow);
    std::vector<HWND> roots;
    for (HWND h : windows)
        roots.push_back(AfxGetRootWindow(h));
    EXPECT_EQ(roots, (std::vector<HWND>{owner.m_hWnd, owner.m_hWnd, owner.m_hWnd, hPopup, nullptr}));
    const CRect area = AfxGetWorkArea(owner.m_hWnd);
    const CRect centred = RectAfterInit(IDD_TEST_CENTRED, nullptr);

    const NewerUserApi none = {};
    ScopedNewerUserApi old(none);
    for (size_t i = 0; i < std::size(windows); ++i)
        EXPECT_EQ(AfxGetRootWindow(windows[i]), roots[i]) << i;
    const CRect primary = AfxGetWorkArea(owner.m_hWnd);
    EXPECT_TRUE(::EqualRect(&area, &primary));
    const CRect centredOld = RectAfterInit(IDD_TEST_CENTRED, nullptr);
    EXPECT_TRUE(::EqualRect(&centred, &centredOld));
    ::DestroyWindow(hPopup);
}

TEST_F(DialogTest, F1AsksTheMainWindowForHelpUnlessAModifierIsHeld)
{
    CTestMainWnd main;
    ASSERT_TRUE(main.Create(kOwnerRect));
    ScopedMainWnd scoped(&main);
    CScriptDialog dlg(IDD_TEST_CENTRED, &main);
    dlg.AddStep([](CScriptDialog& d) {
        ::SetForegroundWindow(d.m_hWnd);
        return ::GetForegroundWindow() == d.m_hWnd;
    });
    dlg.AddAction([](CScriptDialog&) {
        // In order: the modified presses are handled before the plain one.
        SendKey(VK_F1, true, false, false);
        SendKey(VK_F1, false, true, false);
        SendKey(VK_F1, false, false, true);
        SendKey(VK_F1, false, false, false);
    });
    dlg.AddStep([&](CScriptDialog&) { return !main.m_commands.empty(); });
    ASSERT_EQ(CScriptDialog::kScriptDone, dlg.DoModal());
    EXPECT_EQ(std::vector<UINT>{ID_HELP}, main.m_commands);
    EXPECT_EQ(std::vector<bool>{false}, main.m_helpWithModifier);
    EXPECT_TRUE(TestApp().m_commands.empty());
}

} // namespace
