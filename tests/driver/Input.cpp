#include "Driver.h"

#include <cstdlib>

namespace driver {

namespace {

constexpr int kConfirmMs = 1000;
constexpr int kButtonPauseMs = 40;
constexpr int kKeyPauseMs = 30;
constexpr LONG kAbsoluteRange = 65536;
constexpr UINT kPaceTimeoutMs = 1000;
constexpr int kMoveAttempts = 5;
constexpr int kRestAttempts = 5;
constexpr int kPressAttempts = 3;
constexpr int kCaptureMs = 1000;
constexpr int kReleaseMs = 5000;
// The rest before a click: long enough for a late motion event to show.
constexpr DragPace kClickPace{4, 30, 300};

struct ModifierKey {
    unsigned flag;
    WORD vk;
};
constexpr ModifierKey kModifierKeys[] = {{kShift, VK_SHIFT}, {kCtrl, VK_CONTROL}, {kAlt, VK_MENU}};

// An absolute move to (x, y), together with the button flags given.
void SendAbsoluteMove(int x, int y, DWORD buttons = 0)
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK | buttons,
              NormalizeCoordinate(x, left, width), NormalizeCoordinate(y, top, height));
}

bool IsAt(int x, int y)
{
    const POINT now = CursorPos();
    return now.x == x && now.y == y;
}

// Moves the pointer to (x, y) and checks that it is still there after the
// pause: under load Wine may apply a late echo of an earlier position.
bool SettleAt(int x, int y, int pauseMs)
{
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        SendAbsoluteMove(x, y);
        if (!WaitUntil([&] { return IsAt(x, y); }, kConfirmMs, 5)) {
            continue;
        }
        Pause(pauseMs);
        if (IsAt(x, y)) {
            return true;
        }
    }
    return false;
}

bool IsExtendedKey(WORD vk)
{
    switch (vk) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_RCONTROL:
    case VK_RMENU:
        return true;
    default:
        return false;
    }
}

INPUT KeyInput(WORD vk, bool down)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags =
        (down ? 0 : KEYEVENTF_KEYUP) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

// What GetGUIThreadInfo tells of hwnd's thread; null windows when it cannot.
GUITHREADINFO GuiThreadInfo(HWND hwnd)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info);
    return info;
}

} // namespace

void SendMouse(DWORD flags, LONG dx, LONG dy)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

LONG NormalizeCoordinate(int pixel, int origin, int size)
{
    if (size <= 0) {
        return 0;
    }
    // Smallest value that maps back onto the pixel: pixel = value * size / 65536.
    const long long offset = static_cast<long long>(pixel) - origin;
    const long long clamped = offset < 0 ? 0 : (offset >= size ? size - 1 : offset);
    return static_cast<LONG>((clamped * kAbsoluteRange + size - 1) / size);
}

POINT CursorPos()
{
    POINT pt{};
    GetCursorPos(&pt);
    return pt;
}

bool MoveTo(int x, int y, int steps, int pauseMs)
{
    const POINT start = CursorPos();
    steps = steps < 1 ? 1 : steps;
    for (int i = 1; i <= steps; ++i) {
        if (!SettleAt(start.x + (x - start.x) * i / steps, start.y + (y - start.y) * i / steps,
                      pauseMs)) {
            return false;
        }
    }
    return true;
}

bool MoveTo(POINT pt, int steps, int pauseMs) { return MoveTo(pt.x, pt.y, steps, pauseMs); }

void LeftDown()
{
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    Pause(kButtonPauseMs);
}

void LeftUp()
{
    SendMouse(MOUSEEVENTF_LEFTUP);
    Pause(kButtonPauseMs);
}

void LeftUpAt(POINT pt)
{
    SendAbsoluteMove(pt.x, pt.y, MOUSEEVENTF_LEFTUP);
    Pause(kButtonPauseMs);
}

void RightDown()
{
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    Pause(kButtonPauseMs);
}

void RightUp()
{
    SendMouse(MOUSEEVENTF_RIGHTUP);
    Pause(kButtonPauseMs);
}

bool Drag(POINT from, POINT to, int steps, int pauseMs)
{
    if (!MoveTo(from)) {
        return false;
    }
    // The window pressed on handles the whole drag; keep pace with its thread.
    HWND source = WindowFromPoint(from);
    const auto keepPace = [source] {
        if (source != nullptr) {
            SendBounded(source, WM_NULL, 0, 0, nullptr, kPaceTimeoutMs);
        }
    };
    keepPace();
    LeftDown();
    keepPace();
    bool moved = true;
    steps = steps < 1 ? 1 : steps;
    const POINT start = CursorPos();
    for (int i = 1; i <= steps && moved; ++i) {
        moved = MoveTo(start.x + (to.x - start.x) * i / steps,
                       start.y + (to.y - start.y) * i / steps, 1, pauseMs);
        keepPace();
    }
    LeftUp();
    keepPace();
    return moved;
}

bool Click(POINT pt)
{
    if (!MoveTo(pt)) {
        return false;
    }
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    Pause(kButtonPauseMs / 2);
    SendMouse(MOUSEEVENTF_LEFTUP);
    Pause(kButtonPauseMs);
    return true;
}

void PressKey(WORD vk, unsigned modifiers)
{
    std::vector<INPUT> inputs;
    for (const ModifierKey& key : kModifierKeys) {
        if (modifiers & key.flag) {
            inputs.push_back(KeyInput(key.vk, true));
        }
    }
    inputs.push_back(KeyInput(vk, true));
    inputs.push_back(KeyInput(vk, false));
    for (const ModifierKey& key : kModifierKeys) {
        if (modifiers & key.flag) {
            inputs.push_back(KeyInput(key.vk, false));
        }
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Pause(kKeyPauseMs);
}

void TypeText(const std::string& text)
{
    for (char c : text) {
        const SHORT scan = VkKeyScanA(c);
        if (scan == -1) {
            continue;
        }
        // High byte of VkKeyScan: 1 Shift, 2 Ctrl, 4 Alt, as in Modifier.
        PressKey(static_cast<WORD>(scan & 0xFF), static_cast<unsigned>((scan >> 8) & 0x7));
    }
}

bool Activate(HWND hwnd, int timeoutMs)
{
    const auto done = [hwnd] { return GetForegroundWindow() == hwnd && IsTopOfBand(hwnd); };
    SetForegroundWindow(hwnd);
    SendBounded(hwnd, WM_NULL, 0, 0, nullptr, kPaceTimeoutMs);
    if (done()) {
        return true;
    }
    // Wine activates another process's window without always raising it.
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    SendBounded(hwnd, WM_NULL, 0, 0, nullptr, kPaceTimeoutMs);
    return WaitUntil(done, timeoutMs);
}

HWND CaptureOf(HWND hwnd) { return GuiThreadInfo(hwnd).hwndCapture; }

HWND FocusOf(HWND hwnd) { return GuiThreadInfo(hwnd).hwndFocus; }

bool RestAt(POINT pt, const DragPace& pace)
{
    for (int attempt = 0; attempt < kRestAttempts; ++attempt) {
        if (!MoveTo(pt, attempt == 0 ? pace.steps : 1, pace.pauseMs)) {
            continue;
        }
        Pause(pace.restMs);
        const POINT now = CursorPos();
        if (now.x == pt.x && now.y == pt.y) {
            return true;
        }
    }
    return false;
}

bool PressAndCapture(POINT pt, const DragPace& pace)
{
    const HWND target = WindowFromPoint(pt);
    for (int attempt = 0; attempt < kPressAttempts; ++attempt) {
        if (!RestAt(pt, pace)) {
            return false;
        }
        LeftDown();
        if (WaitUntil([&] { return CaptureOf(target) == target; }, kCaptureMs)) {
            return true;
        }
        LeftUp();
    }
    return false;
}

bool CarefulDrag(POINT from, POINT to, const DragPace& pace)
{
    const HWND source = WindowFromPoint(from);
    if (!PressAndCapture(from, pace)) {
        return false;
    }
    const bool arrived = RestAt(to, pace);
    LeftUpAt(to);
    return arrived && WaitUntil([&] { return CaptureOf(source) == nullptr; }, kReleaseMs);
}

bool ClickAt(POINT pt) { return RestAt(pt, kClickPace) && Click(pt); }

bool ClickButton(HWND dlg, int id) { return ClickAt(Center(ControlRect(dlg, id))); }

std::string NotepadPath()
{
    char dir[MAX_PATH] = {};
    GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\notepad.exe";
}

HWND StartNotepad(Process& notepad, const RECT& place)
{
    if (!notepad.Launch(NotepadPath()))
        return nullptr;
    HWND h = WaitForWindowContaining("Notepad", "Notepad", notepad.Pid());
    if (!h)
        return nullptr;
    ::SetWindowPos(h, nullptr, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    WaitUntil([&] { return WindowRect(h).left == place.left; }, 3000);
    return h;
}

} // namespace driver
