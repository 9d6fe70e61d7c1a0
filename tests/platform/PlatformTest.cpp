#include "PlatformTest.h"

#include "Driver.h"

namespace ptest {

namespace {

constexpr const char* kMainWndClass = "TiermoPlatformTestMain";
constexpr UINT_PTR kScriptTimerId = 1;
constexpr UINT kScriptTickMs = 20;

CTestApp theTestApp; // constructed without a name: it comes from the string table

bool ModifierDown()
{
    return ::GetKeyState(VK_SHIFT) < 0 || ::GetKeyState(VK_CONTROL) < 0 ||
           ::GetKeyState(VK_MENU) < 0;
}

} // namespace

CTestApp& TestApp() { return theTestApp; }

const MsgMapEntry CTestApp::messageEntries[] = {
    msgmap::OnCommand<ID_HELP, &CTestApp::OnHelp>(),
    msgmap::OnCommand<ID_APP_ABOUT, &CTestApp::OnAppAbout>(),
    msgmap::OnCommand<kCmdAppOnly, &CTestApp::OnAppOnly>(),
    msgmap::OnCommand<kCmdOwnerAndApp, &CTestApp::OnOwnerAndApp>(),
    msgmap::OnCommand<kCmdControlRange, &CTestApp::OnControlRange>(),
};
const MessageMap CTestApp::messageMap = {&CCmdTarget::messageMap, messageEntries};

bool CTestApp::OnCmdMsg(UINT nID, bool bQueryOnly)
{
    if (nID == ID_HELP && !m_bHelpEnabled)
        return false;
    return CWinApp::OnCmdMsg(nID, bQueryOnly);
}

// ---------------------------------------------------------------------------

const MsgMapEntry CTestMainWnd::messageEntries[] = {
    msgmap::OnCommand<ID_HELP, &CTestMainWnd::OnHelp>(),
    msgmap::OnCommand<kCmdOwnerAndApp, &CTestMainWnd::OnOwnerAndApp>(),
};
const MessageMap CTestMainWnd::messageMap = {&CWnd::messageMap, messageEntries};

CTestMainWnd::~CTestMainWnd()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

bool CTestMainWnd::Create(const CRect& rc, bool bVisible)
{
    static const ATOM s_atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
        wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
        wc.lpszClassName = kMainWndClass;
        return ::RegisterClassA(&wc);
    }();
    if (!s_atom)
        return false;
    HookWindowCreate();
    HWND hWnd = ::CreateWindowExA(0, kMainWndClass, "Platform test main",
                                  WS_OVERLAPPEDWINDOW | (bVisible ? WS_VISIBLE : 0), rc.left,
                                  rc.top, rc.Width(), rc.Height(), nullptr, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
    UnhookWindowCreate();
    return hWnd && hWnd == m_hWnd;
}

void CTestMainWnd::OnHelp()
{
    m_commands.push_back(ID_HELP);
    m_helpWithModifier.push_back(ModifierDown());
}

bool CTestMainWnd::OnCmdMsg(UINT nID, bool bQueryOnly)
{
    if (nID == ID_HELP && !m_bHelpEnabled)
        return false;
    return CWnd::OnCmdMsg(nID, bQueryOnly);
}

// ---------------------------------------------------------------------------

const MsgMapEntry CScriptDialog::messageEntries[] = {
    msgmap::OnMessage<WM_TIMER, &CScriptDialog::OnTimer>(),
};
const MessageMap CScriptDialog::messageMap = {&CDialog::messageMap, messageEntries};

CScriptDialog::CScriptDialog(UINT nIDTemplate, CWnd* pParent) : CDialog(nIDTemplate, pParent) {}

void CScriptDialog::AddAction(std::function<void(CScriptDialog&)> action)
{
    AddStep([action = std::move(action)](CScriptDialog& dlg) {
        action(dlg);
        return true;
    });
}

CRect CScriptDialog::WindowRect() const
{
    CRect rc;
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

BOOL CScriptDialog::OnInitDialog()
{
    BOOL bResult = CDialog::OnInitDialog();
    m_nStep = 0;
    m_deadline = ::GetTickCount64() + kWaitMs;
    ::SetTimer(m_hWnd, kScriptTimerId, kScriptTickMs, nullptr);
    return bResult;
}

LRESULT CScriptDialog::OnTimer(WPARAM wParam, LPARAM)
{
    if (wParam != kScriptTimerId)
        return 0;
    while (m_nStep < m_steps.size() && m_steps[m_nStep](*this))
        ++m_nStep;
    if (m_nStep == m_steps.size() || ::GetTickCount64() > m_deadline) {
        ::KillTimer(m_hWnd, kScriptTimerId);
        EndDialog(m_nStep == m_steps.size() ? kScriptDone : kScriptTimedOut);
    }
    return 0;
}

// ---------------------------------------------------------------------------

MessageBoxWatcher::MessageBoxWatcher(std::string caption) : m_caption(std::move(caption))
{
    m_hThread = ::CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher() { Finish(); }

DWORD WINAPI MessageBoxWatcher::ThreadProc(LPVOID pThis)
{
    static_cast<MessageBoxWatcher*>(pThis)->Watch();
    return 0;
}

bool MessageBoxWatcher::Finish()
{
    if (m_hThread) {
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    return m_bFound;
}

void MessageBoxWatcher::Watch()
{
    HWND hBox = nullptr;
    if (!driver::WaitUntil(
            [&] { return (hBox = driver::FindTopLevel(m_caption.c_str(), "#32770")) != nullptr; },
            kWaitMs))
        return;
    m_bFound = true;
    m_bTopmost = driver::IsTopmost(hBox);
    m_hOwner = ::GetWindow(hBox, GW_OWNER);
    // The message text is the static control that has text (the icon's has none).
    for (HWND h = ::GetWindow(hBox, GW_CHILD); h && m_text.empty(); h = ::GetWindow(h, GW_HWNDNEXT))
        if (driver::ClassName(h) == "Static")
            m_text = driver::GetText(h);
    ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
}

// ---------------------------------------------------------------------------

void SendKey(WORD vk, bool bShift, bool bCtrl, bool bAlt)
{
    std::vector<WORD> mods;
    if (bShift)
        mods.push_back(VK_SHIFT);
    if (bCtrl)
        mods.push_back(VK_CONTROL);
    if (bAlt)
        mods.push_back(VK_MENU);
    auto key = [](WORD k, bool bUp) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = k;
        in.ki.wScan = WORD(::MapVirtualKeyA(k, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = bUp ? KEYEVENTF_KEYUP : 0;
        return in;
    };
    std::vector<INPUT> inputs;
    for (WORD m : mods)
        inputs.push_back(key(m, false));
    inputs.push_back(key(vk, false));
    inputs.push_back(key(vk, true));
    for (auto it = mods.rbegin(); it != mods.rend(); ++it)
        inputs.push_back(key(*it, true));
    ::SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

} // namespace ptest
