#include "Driver.h"

namespace driver {

namespace {

constexpr int kRestAttempts = 5;
constexpr int kPressAttempts = 3;
constexpr int kCaptureMs = 1000;
constexpr int kReleaseMs = 5000;
// The rest before a click: long enough for a late motion event to show.
constexpr DragPace kClickPace{4, 30, 300};

} // namespace

HWND CaptureOf(HWND hwnd)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndCapture;
}

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

} // namespace driver
