// The Help window and the About box run in this process with the real
// templates and texts, except that this program carries no HELP text. A
// thread timer, which every modal loop dispatches, looks at the windows while
// they are open and closes them.
#include "app/TiermoApp.h"
#include "info/AboutDlg.h"
#include "info/Caption.h"
#include "info/HelpDlg.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

CTiermoApp g_app;

constexpr UINT kTickMs = 50;
// Bound on how long one modal run may stay open (in ticks).
constexpr int kMaxTicks = 200;
// Control of a message box that holds its text.
constexpr int kMessageBoxTextId = 0xFFFF;

std::string WindowText(HWND hWnd)
{
    char buf[2048] = {};
    ::GetWindowTextA(hWnd, buf, sizeof buf);
    return buf;
}

std::vector<HWND> VisibleThreadWindows()
{
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND h, LPARAM l) CALLBACK -> BOOL {
            if (::IsWindowVisible(h))
                reinterpret_cast<std::vector<HWND>*>(l)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// The system's message boxes are the only windows here without a window object.
bool IsMessageBox(HWND h) { return CWnd::FromHandlePermanent(h) == nullptr; }

// What the timer saw of one visible window when it first handled it.
struct Seen {
    HWND hWnd;
    std::string caption;
    std::string text; // message box text, or the text of control 100
    int nFocusId;     // control with the focus, 0 when it is not a control of the window
    HWND hOwner;
};

// Runs action (which runs modal windows) while a thread timer hands every
// newly visible window to onWindow once; onWindow returns true to close it
// (message boxes are always closed). Everything still open after kMaxTicks is
// closed so that a failing test cannot hang.
class ModalWatcher {
public:
    std::function<bool(const Seen&)> onWindow = [](const Seen&) { return true; };
    std::vector<Seen> seen;

    void Run(const std::function<void()>& action)
    {
        s_pCurrent = this;
        m_ticks = 0;
        UINT_PTR id = ::SetTimer(nullptr, 0, kTickMs, &ModalWatcher::OnTimer);
        action();
        ::KillTimer(nullptr, id);
        s_pCurrent = nullptr;
    }

    std::vector<Seen> MessageBoxes() const { return Filter(true); }
    std::vector<Seen> Dialogs() const { return Filter(false); }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        if (ModalWatcher* p = s_pCurrent)
            p->Tick();
    }

    void Tick()
    {
        ++m_ticks;
        for (HWND h : VisibleThreadWindows()) {
            if (m_ticks > kMaxTicks) {
                ::PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
                continue;
            }
            // A window is looked at once it is active, so that its focus is set.
            if (Known(h) || ::GetActiveWindow() != h)
                continue;
            bool bBox = IsMessageBox(h);
            HWND hText = ::GetDlgItem(h, bBox ? kMessageBoxTextId : 100);
            HWND hFocus = ::GetFocus();
            Seen s{h, WindowText(h), hText ? WindowText(hText) : "",
                   ::GetParent(hFocus) == h ? ::GetDlgCtrlID(hFocus) : 0, ::GetWindow(h, GW_OWNER)};
            seen.push_back(s);
            m_boxes.push_back(bBox);
            m_handled.push_back(h);
            if (bBox || onWindow(s))
                ::PostMessageA(h, WM_COMMAND, bBox ? IDOK : IDCANCEL, 0);
        }
    }

    bool Known(HWND h) const
    {
        for (HWND k : m_handled)
            if (k == h && ::IsWindow(h))
                return true;
        return false;
    }

    std::vector<Seen> Filter(bool bBoxes) const
    {
        std::vector<Seen> r;
        for (size_t i = 0; i < seen.size(); ++i)
            if (m_boxes[i] == bBoxes)
                r.push_back(seen[i]);
        return r;
    }

    static inline ModalWatcher* s_pCurrent = nullptr;
    int m_ticks = 0;
    std::vector<bool> m_boxes;
    std::vector<HWND> m_handled;
};

class InfoDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(AfxWinInit(::GetModuleHandleA(nullptr)));
        ASSERT_STREQ(g_app.m_pszAppName, "Tiermo");
    }
};

// A plain top-level window to own the dialogs, with a window object that lives
// as long as it (not a temporary one, which the modal loop would delete).
class OwnerWindow {
public:
    explicit OwnerWindow(const char* caption)
    {
        m_wnd.m_hWnd = ::CreateWindowExA(0, "STATIC", caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                         10, 300, 200, nullptr, nullptr, nullptr, nullptr);
    }
    ~OwnerWindow()
    {
        ::DestroyWindow(m_wnd.m_hWnd);
        m_wnd.m_hWnd = nullptr;
    }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    CWnd* Wnd() { return &m_wnd; }

private:
    CWnd m_wnd;
};

// ---------------------------------------------------------------- Help window

TEST_F(InfoDialogTest, HelpCaptionSuffixes)
{
    OwnerWindow owner("Owner Caption");
    const char* kMarker = CHelpDlg::kSuffixParentCaption;
    struct Case {
        CWnd* pParent;
        const char* pszSuffix;
        const char* pszCaption;
    } cases[] = {
        {nullptr, nullptr, "Tiermo Help"},
        {owner.Wnd(), nullptr, "Tiermo Help"},
        {owner.Wnd(), " (extra)", "Tiermo Help (extra)"},
        {owner.Wnd(), kMarker, "Tiermo Help - Owner Caption"},
        {nullptr, kMarker, "Tiermo Help - "},
    };
    for (const Case& c : cases) {
        ModalWatcher watcher;
        INT_PTR result = 0;
        watcher.Run([&] {
            CHelpDlg dlg(c.pParent, "AboutDis", c.pszSuffix);
            result = dlg.DoModal();
        });
        ASSERT_EQ(watcher.Dialogs().size(), 1u) << c.pszCaption;
        EXPECT_EQ(watcher.Dialogs()[0].caption, c.pszCaption);
        EXPECT_EQ(watcher.Dialogs()[0].hOwner, c.pParent ? c.pParent->m_hWnd : nullptr);
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_TRUE(watcher.MessageBoxes().empty());
    }
}

TEST_F(InfoDialogTest, HelpShowsTheTextWithFocusOnClose)
{
    ModalWatcher watcher;
    watcher.Run([] {
        CHelpDlg dlg(nullptr, "aboutdis", nullptr);
        dlg.DoModal();
    });
    ASSERT_EQ(watcher.Dialogs().size(), 1u);
    const Seen s = watcher.Dialogs()[0];
    EXPECT_EQ(s.text.substr(0, 13), "DISCLAIMER:\r\n");
    EXPECT_EQ(s.text.size(), 247u);
    EXPECT_EQ(s.nFocusId, IDCANCEL);
}

TEST_F(InfoDialogTest, SecondHelpWhileOneIsOpenDoesNothing)
{
    INT_PTR nestedResult = 0;
    size_t windowsDuringNested = 0;
    ModalWatcher watcher;
    watcher.onWindow = [&](const Seen&) {
        // Both re-entry paths: the application's handler and the dialog's own guard.
        g_app.OnHelp();
        CHelpDlg nested(nullptr, "AboutDis", nullptr);
        nestedResult = nested.DoModal();
        windowsDuringNested = VisibleThreadWindows().size();
        return true;
    };
    watcher.Run([] {
        CHelpDlg dlg(nullptr, "AboutDis", nullptr);
        dlg.DoModal();
    });
    EXPECT_EQ(nestedResult, CHelpDlg::kAlreadyOpen);
    EXPECT_EQ(windowsDuringNested, 1u);
    EXPECT_EQ(watcher.seen.size(), 1u);
}

// This program has no HELP text: the framework reports the memory exception,
// then the window opens empty, closes, and the next request opens it again.
TEST_F(InfoDialogTest, MissingHelpTextReportsOutOfMemoryAndStillOpens)
{
    for (int round = 0; round < 2; ++round) {
        ModalWatcher watcher;
        watcher.Run([] { g_app.OnHelp(); });
        ASSERT_EQ(watcher.MessageBoxes().size(), 1u) << "round " << round;
        EXPECT_EQ(watcher.MessageBoxes()[0].text, "Out of memory.");
        EXPECT_EQ(watcher.MessageBoxes()[0].caption, "Tiermo");
        ASSERT_EQ(watcher.Dialogs().size(), 1u) << "round " << round;
        EXPECT_EQ(watcher.Dialogs()[0].caption, "Tiermo Help");
        EXPECT_EQ(watcher.Dialogs()[0].text, "");
        // The box came first, the Help window after it.
        EXPECT_EQ(watcher.seen[0].hWnd, watcher.MessageBoxes()[0].hWnd);
    }

    // Both guards were cleared: a text that exists shows normally.
    ModalWatcher watcher;
    watcher.Run([] {
        CHelpDlg dlg(nullptr, "ABOUTDIS", nullptr);
        dlg.DoModal();
    });
    EXPECT_TRUE(watcher.MessageBoxes().empty());
    ASSERT_EQ(watcher.Dialogs().size(), 1u);
    EXPECT_EQ(watcher.Dialogs()[0].text.size(), 247u);
}

// ---------------------------------------------------------------- About box

class AboutBoxTest : public InfoDialogTest {
protected:
    void SetUp() override { g_app.m_settings.m_dwCurrentVersion = kProgramVersion; }
    void TearDown() override { g_app.m_pszAppName = m_pszSavedName; }

    // Opens the About box through the application's handler and keeps what
    // the watcher saw, plus the texts and fonts of the controls.
    void RunAbout()
    {
        ModalWatcher watcher;
        watcher.onWindow = [&](const Seen& s) {
            for (int id : {IDC_NAME_VERSION, IDC_NOTICE, IDC_DESCRIPTION, IDC_ABOUT_TEXT})
                m_texts.push_back(WindowText(::GetDlgItem(s.hWnd, id)));
            m_hTextFont = HFONT(::SendDlgItemMessageA(s.hWnd, IDC_ABOUT_TEXT, WM_GETFONT, 0, 0));
            m_hDialogFont = HFONT(::SendMessageA(s.hWnd, WM_GETFONT, 0, 0));
            if (m_hTextFont)
                ::GetObjectA(m_hTextFont, sizeof m_lfText, &m_lfText);
            m_textHeight = TextHeight(s.hWnd, m_hTextFont);
            m_dialogTextHeight = TextHeight(s.hWnd, m_hDialogFont);
            return true;
        };
        watcher.Run([] { g_app.OnAppAbout(); });
        m_seen = watcher.seen;
    }

    static int TextHeight(HWND hWnd, HFONT hFont)
    {
        HDC hdc = ::GetDC(hWnd);
        HGDIOBJ old = ::SelectObject(hdc, hFont);
        TEXTMETRICA tm = {};
        ::GetTextMetricsA(hdc, &tm);
        ::SelectObject(hdc, old);
        ::ReleaseDC(hWnd, hdc);
        return tm.tmHeight - tm.tmInternalLeading;
    }

    const char* m_pszSavedName = g_app.m_pszAppName;
    std::vector<Seen> m_seen;
    std::vector<std::string> m_texts;
    HFONT m_hTextFont = nullptr;
    HFONT m_hDialogFont = nullptr;
    LOGFONTA m_lfText = {};
    int m_textHeight = 0;
    int m_dialogTextHeight = 0;
};

TEST_F(AboutBoxTest, ShowsNameVersionNoticeDescriptionAndDisclaimer)
{
    RunAbout();
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_seen[0].caption, "About Tiermo");
    EXPECT_EQ(m_seen[0].nFocusId, IDOK);
    ASSERT_EQ(m_texts.size(), 4u);
    EXPECT_EQ(m_texts[0], "Tiermo v1.6");
    EXPECT_EQ(m_texts[1], "Copyright (C) 1996 Kevra\nAll rights reserved.");
    EXPECT_EQ(m_texts[2], "Win32 Windows Z-Ordering Tool\nBuilt on Nov 30 1996");
    EXPECT_EQ(m_texts[3].size(), 247u);
    EXPECT_EQ(m_texts[3].substr(0, 13), "DISCLAIMER:\r\n");
}

TEST_F(AboutBoxTest, VersionLineFollowsTheRunningVersion)
{
    const std::pair<DWORD, const char*> cases[] = {{0x0001000A, "Tiermo v1.10"},
                                                   {0x00020000, "Tiermo v2.0"}};
    for (const auto& [dwVersion, pszLine] : cases) {
        g_app.m_settings.m_dwCurrentVersion = dwVersion;
        m_texts.clear();
        RunAbout();
        ASSERT_FALSE(m_texts.empty());
        EXPECT_EQ(m_texts[0], pszLine);
    }
}

TEST_F(AboutBoxTest, DisclaimerUsesNinePixelArial)
{
    RunAbout();
    ASSERT_NE(m_hTextFont, nullptr);
    EXPECT_NE(m_hTextFont, m_hDialogFont);
    EXPECT_EQ(m_lfText.lfHeight, kAboutTextFontHeight);
    EXPECT_STREQ(m_lfText.lfFaceName, "Arial");
    EXPECT_EQ(m_lfText.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(m_lfText.lfPitchAndFamily, VARIABLE_PITCH | FF_SWISS);
    EXPECT_EQ(m_lfText.lfWeight, 0);
    EXPECT_EQ(m_textHeight, 9);
    EXPECT_LT(m_textHeight, m_dialogTextHeight);
}

TEST_F(AboutBoxTest, PercentSignsInTheNameAreShownAsTheyAre)
{
    g_app.m_pszAppName = "50%s %n%d";
    RunAbout();
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_seen[0].caption, "About 50%s %n%d");
    ASSERT_FALSE(m_texts.empty());
    EXPECT_EQ(m_texts[0], "50%s %n%d v1.6");
}

TEST_F(AboutBoxTest, LongNameGivesABoundedCaption)
{
    const std::string longName(400, 'x');
    g_app.m_pszAppName = longName.c_str();
    RunAbout();
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_seen[0].caption, ("About " + longName).substr(0, kMaxCaptionLength));
}

} // namespace
