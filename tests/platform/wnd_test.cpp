// Windows and message maps: dispatch with fallback to the base map, default
// processing, command notifications, the handle map and its temporary
// wrappers, the exception guard and the message box.
#include "PlatformTest.h"

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <new>

namespace {

using namespace ptest;

constexpr UINT kMsgBoth = WM_APP + 1;     // in the derived and the base map
constexpr UINT kMsgBaseOnly = WM_APP + 2; // only in the base map
constexpr UINT kMsgNowhere = WM_APP + 3;  // in no map
constexpr UINT kMsgNested = WM_APP + 4;
constexpr UINT kMsgThrowMemory = WM_APP + 10;
constexpr UINT kMsgThrowBadAlloc = WM_APP + 11;
constexpr UINT kMsgThrowOwn = WM_APP + 12;
constexpr UINT kMsgThrowOther = WM_APP + 13;
constexpr UINT kCmdBase = 0x8201;
constexpr UINT kCmdDerived = 0x8202;
constexpr LRESULT kBaseResult = 11;
constexpr LRESULT kDerivedResult = 22;
constexpr LRESULT kBaseOnlyResult = 33;
constexpr LRESULT kNotThrownResult = 7;

const CRect kMainRect(100, 100, 500, 400);

class CBaseProbe : public CTestMainWnd {
public:
    LRESULT OnBoth(WPARAM, LPARAM) { return kBaseResult; }
    LRESULT OnBaseOnly(WPARAM, LPARAM) { return kBaseOnlyResult; }
    void OnCmdBase() { m_log.push_back(kCmdBase); }
    std::vector<UINT> m_log;

    DECLARE_MESSAGE_MAP()
};

const MsgMapEntry CBaseProbe::messageEntries[] = {
    msgmap::OnMessage<kMsgBoth, &CBaseProbe::OnBoth>(),
    msgmap::OnMessage<kMsgBaseOnly, &CBaseProbe::OnBaseOnly>(),
    msgmap::OnCommand<kCmdBase, &CBaseProbe::OnCmdBase>(),
};
const MessageMap CBaseProbe::messageMap = {&CTestMainWnd::messageMap, messageEntries};

class CDerivedProbe : public CBaseProbe {
public:
    LRESULT OnBoth(WPARAM, LPARAM) { return kDerivedResult; }
    void OnCmdDerived() { m_log.push_back(kCmdDerived); }

    // Records the text being set, asks itself something else, then lets the
    // default processing store the text.
    LRESULT OnSetText(WPARAM, LPARAM lParam)
    {
        m_strSeen = reinterpret_cast<const char*>(lParam);
        m_nestedResult = SendMessage(kMsgBaseOnly);
        return Default();
    }

    CString m_strSeen;
    LRESULT m_nestedResult = 0;

    DECLARE_MESSAGE_MAP()
};

const MsgMapEntry CDerivedProbe::messageEntries[] = {
    msgmap::OnMessage<kMsgBoth, &CDerivedProbe::OnBoth>(),
    msgmap::OnMessage<WM_SETTEXT, &CDerivedProbe::OnSetText>(),
    msgmap::OnCommand<kCmdDerived, &CDerivedProbe::OnCmdDerived>(),
};
const MessageMap CDerivedProbe::messageMap = {&CBaseProbe::messageMap, messageEntries};

// An exception of the program's own kind that counts its deletions.
class CCountedException : public CException {
public:
    ~CCountedException() override { ++s_nDeleted; }
    CString GetErrorMessage() const override { return CString("Counted failure."); }
    static int s_nDeleted;
};
int CCountedException::s_nDeleted = 0;

class CThrowingWnd : public CTestMainWnd {
public:
    LRESULT OnThrowMemory(WPARAM, LPARAM)
    {
        AfxThrowMemoryException();
        return kNotThrownResult;
    }
    LRESULT OnThrowBadAlloc(WPARAM, LPARAM) { throw std::bad_alloc(); }
    LRESULT OnThrowOwn(WPARAM, LPARAM) { throw new CCountedException; }
    LRESULT OnThrowOther(WPARAM, LPARAM) { throw 42; }

    DECLARE_MESSAGE_MAP()
};

const MsgMapEntry CThrowingWnd::messageEntries[] = {
    msgmap::OnMessage<kMsgThrowMemory, &CThrowingWnd::OnThrowMemory>(),
    msgmap::OnMessage<kMsgThrowBadAlloc, &CThrowingWnd::OnThrowBadAlloc>(),
    msgmap::OnMessage<kMsgThrowOwn, &CThrowingWnd::OnThrowOwn>(),
    msgmap::OnMessage<kMsgThrowOther, &CThrowingWnd::OnThrowOther>(),
};
const MessageMap CThrowingWnd::messageMap = {&CTestMainWnd::messageMap, messageEntries};

class WndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApp().m_commands.clear();
        TestApp().m_pMainWnd = nullptr;
    }
    void TearDown() override { TestApp().m_pMainWnd = nullptr; }
};

TEST_F(WndTest, ApplicationNameComesFromTheStringTable)
{
    ASSERT_NE(nullptr, AfxGetApp());
    EXPECT_EQ(&TestApp(), AfxGetApp());
    EXPECT_STREQ(kAppName, AfxGetApp()->m_pszAppName);
    EXPECT_EQ(::GetModuleHandleA(nullptr), AfxGetResourceHandle());
}

TEST_F(WndTest, MessagesDispatchThroughTheMapChain)
{
    CDerivedProbe wnd;
    ASSERT_TRUE(wnd.Create(kMainRect));
    EXPECT_EQ(&wnd, CWnd::FromHandlePermanent(wnd.m_hWnd));

    EXPECT_EQ(kDerivedResult, wnd.SendMessage(kMsgBoth));
    EXPECT_EQ(kBaseOnlyResult, wnd.SendMessage(kMsgBaseOnly));
    EXPECT_EQ(0, wnd.SendMessage(kMsgNowhere)); // the window class's own processing

    CBaseProbe base;
    ASSERT_TRUE(base.Create(kMainRect));
    EXPECT_EQ(kBaseResult, base.SendMessage(kMsgBoth));

    // Commands: own map, base map, and the map two levels up.
    wnd.SendMessage(WM_COMMAND, kCmdDerived);
    wnd.SendMessage(WM_COMMAND, kCmdBase);
    EXPECT_EQ((std::vector<UINT>{kCmdDerived, kCmdBase}), wnd.m_log);
    wnd.SendMessage(WM_COMMAND, kCmdOwnerAndApp);
    EXPECT_EQ(std::vector<UINT>{kCmdOwnerAndApp}, wnd.m_commands);
    base.SendMessage(WM_COMMAND, kCmdDerived);
    EXPECT_TRUE(base.m_log.empty());
    // A plain window does not pass commands on to the application.
    wnd.SendMessage(WM_COMMAND, kCmdAppOnly);
    EXPECT_TRUE(TestApp().m_commands.empty());
}

TEST_F(WndTest, DefaultProcessesTheCurrentMessageAfterNestedOnes)
{
    CDerivedProbe wnd;
    ASSERT_TRUE(wnd.Create(kMainRect));
    wnd.SetWindowText("New caption");
    EXPECT_STREQ("New caption", wnd.m_strSeen);
    EXPECT_EQ(kBaseOnlyResult, wnd.m_nestedResult);
    CString text;
    wnd.GetWindowText(text);
    EXPECT_STREQ("New caption", text);
    EXPECT_EQ(11, text.GetLength());
}

TEST_F(WndTest, ControlNotificationsAreNotCommands)
{
    CDerivedProbe wnd;
    ASSERT_TRUE(wnd.Create(kMainRect));
    HWND hEdit = ::CreateWindowExA(0, "Edit", "", WS_CHILD, 0, 0, 50, 20, wnd.m_hWnd,
                                   HMENU(UINT_PTR(kCmdDerived)), nullptr, nullptr);
    ASSERT_NE(nullptr, hEdit);

    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdDerived, EN_CHANGE), LPARAM(hEdit));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdDerived, EN_SETFOCUS), LPARAM(hEdit));
    EXPECT_TRUE(wnd.m_log.empty());

    // A click, a menu command and an accelerator are commands.
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdDerived, BN_CLICKED), LPARAM(hEdit));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdDerived, 0), 0);
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(kCmdDerived, 1), 0);
    EXPECT_EQ(3u, wnd.m_log.size());
}

TEST_F(WndTest, HandleMapFollowsTheWindowsLife)
{
    HWND hWnd = nullptr;
    {
        auto* pWnd = new CTestMainWnd;
        ASSERT_TRUE(pWnd->Create(kMainRect));
        hWnd = pWnd->m_hWnd;
        delete pWnd; // takes its window with it
    }
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));

    CTestMainWnd wnd;
    ASSERT_TRUE(wnd.Create(kMainRect));
    hWnd = wnd.m_hWnd;
    ::DestroyWindow(hWnd); // the object outlives its window
    EXPECT_EQ(nullptr, wnd.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hWnd));
    EXPECT_EQ(nullptr, CWnd::FromHandle(nullptr));
}

TEST_F(WndTest, TemporaryWrappersStayUsableAroundSubclassing)
{
    HWND hForeign = ::CreateWindowExA(0, "Static", "foreign", WS_POPUP, 0, 0, 50, 20, nullptr,
                                      nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hForeign);

    CWnd* pTemp = CWnd::FromHandle(hForeign);
    ASSERT_NE(nullptr, pTemp);
    EXPECT_EQ(hForeign, pTemp->m_hWnd);
    EXPECT_EQ(pTemp, CWnd::FromHandle(hForeign));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hForeign));

    {
        CStatic permanent;
        ASSERT_TRUE(permanent.SubclassWindow(hForeign));
        EXPECT_FALSE(CStatic().SubclassWindow(hForeign)); // one object per window
        EXPECT_EQ(&permanent, CWnd::FromHandle(hForeign));
        CString text;
        permanent.GetWindowText(text);
        EXPECT_STREQ("foreign", text);
        EXPECT_EQ(hForeign, permanent.UnsubclassWindow());
        EXPECT_EQ(nullptr, permanent.m_hWnd);
    }

    // Released again: a wrapper handed out now must still name the window.
    ASSERT_TRUE(::IsWindow(hForeign));
    CWnd* pAgain = CWnd::FromHandle(hForeign);
    ASSERT_NE(nullptr, pAgain);
    EXPECT_EQ(hForeign, pAgain->m_hWnd);
    CString text;
    pAgain->GetWindowText(text);
    EXPECT_STREQ("foreign", text);

    CWnd::DeleteTempMap();
    ::DestroyWindow(hForeign);
}

TEST_F(WndTest, PlacementObjectsCarryTheSpecialHandles)
{
    EXPECT_EQ(HWND_TOPMOST, CWnd::wndTopMost.m_hWnd);
    EXPECT_EQ(HWND_NOTOPMOST, CWnd::wndNoTopMost.m_hWnd);
    EXPECT_EQ(HWND_BOTTOM, CWnd::wndBottom.m_hWnd);
}

// A system that answers the desktop window at every point, as Wine's does on
// a frame that the window manager draws.
HWND WINAPI DesktopEverywhere(POINT) { return ::GetDesktopWindow(); }

TEST_F(WndTest, WindowFromPointFindsTheWindowWhereTheSystemAnswersTheDesktop)
{
    CTestMainWnd wnd;
    ASSERT_TRUE(wnd.Create(kMainRect));
    auto child = [&](DWORD style, int x) {
        return ::CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | style, x, 10, 40, 40,
                                 wnd.m_hWnd, nullptr, nullptr, nullptr);
    };
    const HWND hEnabled = child(0, 10), hDisabled = child(WS_DISABLED, 60);
    // Hidden, above the window, over its whole frame.
    const HWND hHidden = ::CreateWindowExA(0, "Static", "", WS_POPUP, kMainRect.left, kMainRect.top,
                                           kMainRect.Width(), kMainRect.Height(), nullptr, nullptr,
                                           nullptr, nullptr);
    ASSERT_TRUE(hEnabled && hDisabled && hHidden);
    ::SetWindowPos(hHidden, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const CPoint frame(kMainRect.left + kMainRect.Width() / 2, kMainRect.top + 2);
    CPoint inEnabled(30, 30), inDisabled(80, 30);
    wnd.ClientToScreen(&inEnabled);
    wnd.ClientToScreen(&inDisabled);
    const CPoint bare(kMainRect.right + 100, kMainRect.bottom + 100);
    ASSERT_EQ(wnd.m_hWnd, ::WindowFromPoint(frame));
    ASSERT_EQ(::GetDesktopWindow(), ::WindowFromPoint(bare)) << "something covers " << bare.x;

    ScopedSystemWindowFromPoint desktop(&DesktopEverywhere);
    EXPECT_EQ(wnd.m_hWnd, AfxWindowFromPoint(frame));
    EXPECT_EQ(hEnabled, AfxWindowFromPoint(inEnabled));
    EXPECT_EQ(wnd.m_hWnd, AfxWindowFromPoint(inDisabled));
    EXPECT_EQ(::GetDesktopWindow(), AfxWindowFromPoint(bare));
    ::DestroyWindow(hHidden);
}

// A system that answers one window at every point, as Wine's does on a title
// bar that the window manager draws over another window.
HWND s_hAnswer = nullptr;
HWND WINAPI AnswerEverywhere(POINT) { return s_hAnswer; }
// DWM that reports one window cloaked.
HWND s_hCloaked = nullptr;
HRESULT WINAPI CloakOne(HWND hWnd, DWORD dwAttribute, PVOID pvValue, DWORD cbValue)
{
    if (dwAttribute != DWMWA_CLOAKED || cbValue != sizeof(DWORD))
        return E_INVALIDARG;
    *static_cast<DWORD*>(pvValue) = hWnd == s_hCloaked;
    return S_OK;
}

TEST_F(WndTest, WindowFromPointPrefersAnUpperWindowThatHoldsThePoint)
{
    // The upper window's caption over the lower window's contents.
    const CRect upperRect(kMainRect.left + 100, kMainRect.top + 100, kMainRect.right + 100,
                          kMainRect.bottom + 100);
    CTestMainWnd lower, upper;
    ASSERT_TRUE(lower.Create(kMainRect));
    ASSERT_TRUE(upper.Create(upperRect));
    RECT rcClient;
    lower.GetClientRect(&rcClient);
    const HWND hContents =
        ::CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, rcClient.right,
                          rcClient.bottom, lower.m_hWnd, nullptr, nullptr, nullptr);
    const HWND hUpperChild =
        ::CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 10, 10, 40, 40,
                          upper.m_hWnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hContents && hUpperChild);
    ::SetWindowPos(upper.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const CPoint caption(upperRect.left + 50, upperRect.top + 10);
    CPoint inUpperChild(30, 30);
    upper.ClientToScreen(&inUpperChild);
    const CPoint lowerOnly(kMainRect.left + 50, kMainRect.bottom - 50);
    ASSERT_EQ(upper.m_hWnd, ::WindowFromPoint(caption));
    ASSERT_EQ(hContents, ::WindowFromPoint(lowerOnly));

    // The lower window itself, where the search would go down to its contents.
    s_hAnswer = lower.m_hWnd;
    ScopedSystemWindowFromPoint beneath(&AnswerEverywhere);
    EXPECT_EQ(upper.m_hWnd, AfxWindowFromPoint(caption));
    EXPECT_EQ(hUpperChild, AfxWindowFromPoint(inUpperChild));
    EXPECT_EQ(lower.m_hWnd, AfxWindowFromPoint(lowerOnly));
    // A cloaked window is not on the screen.
    s_hCloaked = upper.m_hWnd;
    NewerUserApi api = NewerUser();
    api.DwmGetWindowAttribute = &CloakOne;
    ScopedNewerUserApi cloaking(api);
    EXPECT_EQ(lower.m_hWnd, AfxWindowFromPoint(caption));
}

// Sends msg to wnd, which throws; checks the report box and the result.
void ExpectReported(CThrowingWnd& wnd, UINT msg, const char* pszText)
{
    SCOPED_TRACE(pszText);
    MessageBoxWatcher watcher(kAppName);
    const LRESULT result = wnd.SendMessage(msg);
    ASSERT_TRUE(watcher.Finish()) << "no message box captioned " << kAppName;
    EXPECT_EQ(0, result);
    EXPECT_EQ(pszText, watcher.m_text);
    EXPECT_TRUE(watcher.m_bTopmost); // system-modal
}

TEST_F(WndTest, ExceptionGuardReportsAndReturnsZero)
{
    CThrowingWnd wnd;
    ASSERT_TRUE(wnd.Create(kMainRect));

    ExpectReported(wnd, kMsgThrowMemory, "Out of memory.");
    ExpectReported(wnd, kMsgThrowBadAlloc, "Out of memory.");
    CCountedException::s_nDeleted = 0;
    ExpectReported(wnd, kMsgThrowOwn, "Counted failure.");
    EXPECT_EQ(1, CCountedException::s_nDeleted);
    ExpectReported(wnd, kMsgThrowOther, "An unsupported operation was attempted.");

    // The shared out-of-memory object survives being reported.
    ExpectReported(wnd, kMsgThrowMemory, "Out of memory.");
    // The window goes on working.
    wnd.SendMessage(WM_COMMAND, kCmdOwnerAndApp);
    EXPECT_EQ(std::vector<UINT>{kCmdOwnerAndApp}, wnd.m_commands);
}

TEST_F(WndTest, MessageBoxIsCaptionedAndOwnedByTheMainWindow)
{
    {
        MessageBoxWatcher watcher(kAppName);
        EXPECT_EQ(IDOK, AfxMessageBox("No main window."));
        ASSERT_TRUE(watcher.Finish());
        EXPECT_EQ("No main window.", watcher.m_text);
        EXPECT_EQ(nullptr, watcher.m_hOwner);
    }
    CTestMainWnd main;
    ASSERT_TRUE(main.Create(kMainRect));
    ScopedMainWnd scoped(&main);
    MessageBoxWatcher watcher(kAppName);
    EXPECT_EQ(IDOK, AfxMessageBox("With a main window.", MB_OK | MB_ICONSTOP));
    ASSERT_TRUE(watcher.Finish());
    EXPECT_EQ("With a main window.", watcher.m_text);
    EXPECT_EQ(main.m_hWnd, watcher.m_hOwner);
}

} // namespace
