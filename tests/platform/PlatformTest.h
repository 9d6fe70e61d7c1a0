// Shared pieces of the framework-layer tests: the test application object, a
// framework window to act as owner and main window, a modal dialog driven by
// a script of timer steps, and a watcher that reads and closes message boxes
// from a second thread.
#pragma once

#include "platform/Afx.h"

#include <functional>
#include <string>
#include <vector>

namespace ptest {

inline constexpr const char* kAppName = "TiermoPlatformTest";
inline constexpr const char* kRegistryKey = "TiermoTestPlatform";
// HKCU-relative key the profile functions use for kRegistryKey and kAppName.
inline constexpr const char* kProfileKey = "Software\\TiermoTestPlatform\\TiermoPlatformTest";
inline constexpr const char* kProfileRoot = "Software\\TiermoTestPlatform";

// Commands: one only the application handles, one the owner window and the
// application both handle, one below the command range.
inline constexpr UINT kCmdAppOnly = 0x8101;
inline constexpr UINT kCmdOwnerAndApp = 0x8102;
inline constexpr UINT kCmdControlRange = 0x1234;

inline constexpr int kWaitMs = 8000;

class CTestApp : public CWinApp {
public:
    void OnHelp() { Record(ID_HELP); }
    void OnAppAbout() { Record(ID_APP_ABOUT); }
    void OnAppOnly() { Record(kCmdAppOnly); }
    void OnOwnerAndApp() { Record(kCmdOwnerAndApp); }
    void OnControlRange() { Record(kCmdControlRange); }

    // The ID_HELP handler counts only while help is enabled.
    bool OnCmdMsg(UINT nID, bool bQueryOnly = false) override;

    bool m_bHelpEnabled = true;
    std::vector<UINT> m_commands;

private:
    void Record(UINT nID) { m_commands.push_back(nID); }

    DECLARE_MESSAGE_MAP()
};

CTestApp& TestApp();

// A top-level framework window, attached through the creation hook. It
// handles ID_HELP (while help is enabled) and kCmdOwnerAndApp.
class CTestMainWnd : public CWnd {
public:
    ~CTestMainWnd() override;
    bool Create(const CRect& rc, bool bVisible = true);

    void OnHelp();
    void OnOwnerAndApp() { m_commands.push_back(kCmdOwnerAndApp); }
    bool OnCmdMsg(UINT nID, bool bQueryOnly = false) override;

    bool m_bHelpEnabled = true;
    std::vector<UINT> m_commands;
    // For every ID_HELP: whether Shift, Ctrl or Alt was down.
    std::vector<bool> m_helpWithModifier;

    DECLARE_MESSAGE_MAP()
};

// Makes pWnd the application's main window for the lifetime of the object.
class ScopedMainWnd {
public:
    explicit ScopedMainWnd(CWnd* pWnd) { TestApp().m_pMainWnd = pWnd; }
    ~ScopedMainWnd() { TestApp().m_pMainWnd = nullptr; }
    ScopedMainWnd(const ScopedMainWnd&) = delete;
    ScopedMainWnd& operator=(const ScopedMainWnd&) = delete;
};

// A modal dialog that runs steps from a timer inside its own modal loop. Each
// step is called on every tick until it returns true; after the last one the
// dialog ends with kScriptDone, or with kScriptTimedOut when kWaitMs pass.
class CScriptDialog : public CDialog {
public:
    static constexpr int kScriptDone = 100;
    static constexpr int kScriptTimedOut = 101;
    using Step = std::function<bool(CScriptDialog&)>;

    explicit CScriptDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    void AddStep(Step step) { m_steps.push_back(std::move(step)); }
    // A step that does its work once and is done.
    void AddAction(std::function<void(CScriptDialog&)> action);

    CRect WindowRect() const;

protected:
    BOOL OnInitDialog() override;

private:
    LRESULT OnTimer(WPARAM, LPARAM);
    std::vector<Step> m_steps;
    size_t m_nStep = 0;
    ULONGLONG m_deadline = 0;

    DECLARE_MESSAGE_MAP()
};

// Waits on a second thread for a message box with the given caption, records
// its text and whether it is topmost, and closes it with IDOK.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(std::string caption);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Joins the thread; true when a box was found and closed.
    bool Finish();

    std::string m_text;
    bool m_bTopmost = false;
    HWND m_hOwner = nullptr;

private:
    static DWORD WINAPI ThreadProc(LPVOID pThis);
    void Watch();
    std::string m_caption;
    bool m_bFound = false;
    HANDLE m_hThread = nullptr;
};

// Sends keyboard input: vk pressed and released with the modifiers held.
void SendKey(WORD vk, bool bShift, bool bCtrl, bool bAlt);

} // namespace ptest
