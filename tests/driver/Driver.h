// Driver for GUI tests: starts programs, finds and reads their windows, moves
// the mouse and presses keys with SendInput, captures screen pixels and edits
// the registry. Every wait is bounded by a timeout.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

constexpr int kDefaultTimeoutMs = 10000;
constexpr int kDefaultPollMs = 20;
// Bound for a message sent to another process's window.
constexpr UINT kSendTimeoutMs = 2000;

// ---------------------------------------------------------------- paths/env

// Turns a Unix path ("/home/user/x.exe") into the Windows path Wine maps it
// to ("Z:\home\user\x.exe"); other paths are returned unchanged.
std::string FromUnixPath(const std::string& path);
// The environment variable, or fallback when it is unset or empty.
std::string Env(const char* name, const std::string& fallback = "");
// Path of the built Tiermo.exe (TIERMO_EXE), as a Windows path.
std::string TiermoExe();
// Path of the hung-window helper (TIERMO_HUNG_WINDOW_EXE), as a Windows path.
std::string HungWindowExe();

// ---------------------------------------------------------------- processes

// CreateProcessA with the launches Wine refuses now and then tried again (see
// Driver.cpp); a missing program is reported at once. Each failed try is
// written to stderr with its error code.
bool CreateProcessRetrying(const char* application, char* commandLine, BOOL inheritHandles,
                           DWORD flags, STARTUPINFOA* startup, PROCESS_INFORMATION* info);

class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;

    // Starts exePath with the given command-line arguments (quoted by the
    // caller as needed). Ends a process this object still owns first.
    bool Launch(const std::string& exePath, const std::string& args = "");
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_; }
    bool IsRunning() const;
    bool WaitForExit(int timeoutMs);
    // Exit code, or STILL_ACTIVE while running (also when nothing was launched).
    DWORD ExitCode() const;
    // Ends the process if it still runs and waits (bounded) until it is gone.
    void Terminate(UINT exitCode = 1);
    // Waits until the process is waiting for input (bounded).
    bool WaitForIdle(int timeoutMs = kDefaultTimeoutMs);

private:
    void Release();

    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// ---------------------------------------------------------------- waiting

// Polls cond until it is true or timeoutMs pass; returns its last value.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = kDefaultTimeoutMs,
               int pollMs = kDefaultPollMs);
// Sleeps while still answering sent messages of this thread.
void Pause(int ms);

// ---------------------------------------------------------------- windows

// A visible top-level window whose caption equals caption and whose class
// equals className (either may be nullptr for "any"), of process pid (0 = any).
HWND FindTopLevel(const char* caption, const char* className, DWORD pid = 0);
// Waits for FindTopLevel to find one, then (for up to 1 s) until it answers
// messages, so that input sent next is not handled before its start-up.
HWND WaitForWindow(const char* caption, const char* className, DWORD pid = 0,
                   int timeoutMs = kDefaultTimeoutMs);
// As WaitForWindow, but the caption only has to contain captionPart.
HWND WaitForWindowContaining(const char* captionPart, const char* className, DWORD pid = 0,
                             int timeoutMs = kDefaultTimeoutMs);
// Waits until hwnd is destroyed or hidden.
bool WaitForWindowGone(HWND hwnd, int timeoutMs = kDefaultTimeoutMs);
// Waits until hwnd's thread has handled all the input queued so far. An
// answer to a sent message proves nothing (they are answered between
// inputs); but the system has a window painted only when no input is left
// for its thread, so hwnd is invalidated and its painting awaited.
bool WaitForInputHandled(HWND hwnd, int timeoutMs = kDefaultTimeoutMs);

// Caption as stored by the system; never sends a message, so safe on hung windows.
std::string Caption(HWND hwnd);
// Text by WM_GETTEXT (works for other processes' controls); "" on timeout.
std::string GetText(HWND hwnd);
std::string ClassName(HWND hwnd);
LONG_PTR Style(HWND hwnd);
LONG_PTR ExStyle(HWND hwnd);
bool IsTopmost(HWND hwnd);
DWORD WindowPid(HWND hwnd);
RECT WindowRect(HWND hwnd);
// Screen rectangle of the dialog control with the given id (empty if none).
RECT ControlRect(HWND dlg, int id);
HWND ChildAtId(HWND parent, int id);
POINT Center(const RECT& rect);
// The top-level window that owns hwnd's root (GA_ROOTOWNER).
HWND RootOwner(HWND hwnd);
// Sends a message with a bound; false when it timed out or the window is hung.
// Not for text messages: under Wine the ANSI forms ignore the bound (use GetText).
bool SendBounded(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr,
                 UINT timeoutMs = kSendTimeoutMs);
// Asks a window to close (WM_CLOSE posted, never blocks).
bool PostClose(HWND hwnd);

// ---------------------------------------------------------------- Z-order

// Top-level windows from the topmost down.
std::vector<HWND> TopLevelWindows(bool visibleOnly = true);
// True when a is above b in the Z-order of top-level windows.
bool IsAbove(HWND a, HWND b);
// True when hwnd is visible and below every other visible top-level window.
bool IsBottomMostVisible(HWND hwnd);
// True when no visible window of hwnd's band (topmost or not) is above it,
// other than windows hwnd owns.
bool IsTopOfBand(HWND hwnd);
// One line per visible top-level window, topmost first (for failure messages).
std::string DescribeWindows();
// "still running", or how the process ended, for failure messages.
std::string DescribeState(const Process& process);

// ---------------------------------------------------------------- input

enum Modifier : unsigned { kNone = 0, kShift = 1, kCtrl = 2, kAlt = 4 };

// Absolute SendInput coordinate (0..65535) for a screen pixel, against the
// virtual screen origin and size given.
LONG NormalizeCoordinate(int pixel, int origin, int size);
// One mouse input of SendInput, with no pause after it.
void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0);

POINT CursorPos();
// Moves the pointer in steps with short pauses, each confirmed by GetCursorPos.
bool MoveTo(int x, int y, int steps = 4, int pauseMs = 30);
bool MoveTo(POINT pt, int steps = 4, int pauseMs = 30);
void LeftDown();
void LeftUp();
// Releases the left button with pt in the same input, as a mouse's own button
// event carries its position: a late motion event of the path that Wine
// applies after the last move cannot then move the release.
void LeftUpAt(POINT pt);
void RightDown();
void RightUp();
// Presses the left button at from, moves to to in steps, releases it.
bool Drag(POINT from, POINT to, int steps = 6, int pauseMs = 40);
bool Click(POINT pt);
// Presses and releases vk with the modifiers held, releasing them after.
void PressKey(WORD vk, unsigned modifiers = kNone);
// Types printable ASCII text key by key.
void TypeText(const std::string& text);
// Makes hwnd the foreground window and raises it above the other windows of
// its band (topmost or not); never blocks on a hung window.
bool Activate(HWND hwnd, int timeoutMs = 2000);

// ---------------------------------------------------------------- careful input
// Under Wine a late motion event can put the pointer back to an earlier point
// of its path after it was seen to arrive, and a press that follows the
// pointer's arrival too closely is sometimes lost. These wait for both.

// How a careful drag moves: steps of the path, pause after each step, and how
// long the pointer rests on the press and release points.
struct DragPace {
    int steps = 4;
    int pauseMs = 20;
    int restMs = 40;
};

// The window of hwnd's thread that holds the mouse capture, or null.
HWND CaptureOf(HWND hwnd);
// The window of hwnd's thread that has the keyboard focus, or null.
HWND FocusOf(HWND hwnd);
// Moves the pointer to pt and waits until it has stayed there for pace.restMs.
bool RestAt(POINT pt, const DragPace& pace = {});
// Presses the left button at pt once the pointer rests there, and waits until
// the window under pt holds the capture; a press that did not take is
// released and tried again. False (button up) when none took.
bool PressAndCapture(POINT pt, const DragPace& pace = {});
// A drag as the user does it: PressAndCapture at from, the pointer moved to
// rest at to, the button released there (LeftUpAt), and the capture given up.
bool CarefulDrag(POINT from, POINT to, const DragPace& pace = {});
// Clicks at pt after the pointer has rested there.
bool ClickAt(POINT pt);
// Clicks the dialog control with the given id.
bool ClickButton(HWND dlg, int id);
// Windows' notepad.exe.
std::string NotepadPath();
// Starts notepad in `notepad` and, once its window is there, moves it to
// `place` (screen coordinates); its main window, or null.
HWND StartNotepad(Process& notepad, const RECT& place);

// ---------------------------------------------------------------- pixels

// Screen pixels of rect, rows top-down, as RGB COLORREFs; empty on failure.
std::vector<COLORREF> CaptureRect(const RECT& rect);
COLORREF ScreenPixel(POINT pt);
bool SamePixels(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b);
// Number of differing pixels; the size difference counts when sizes differ.
size_t CountDifferences(const std::vector<COLORREF>& a, const std::vector<COLORREF>& b);
// Writes pixels as a 24-bit BMP (for looking at failures).
bool SaveBmp(const std::string& path, const std::vector<COLORREF>& pixels, int width, int height);

HCURSOR CursorHandle();
// Image of a cursor of this process drawn on a white and on a black square of
// size*size (white pixels first); empty if the handle cannot be drawn here.
std::vector<COLORREF> CursorImage(HCURSOR cursor, int size = 32);

// ---------------------------------------------------------------- registry

// view: 0 for this program's own registry view, or KEY_WOW64_64KEY / KEY_WOW64_32KEY.
bool ReadDword(HKEY root, const std::string& subKey, const std::string& name, DWORD* value,
               REGSAM view = 0);
// Writes a value of any type: size bytes of data.
bool WriteValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                const void* data, DWORD size);
bool WriteDword(HKEY root, const std::string& subKey, const std::string& name, DWORD value);
bool ReadString(HKEY root, const std::string& subKey, const std::string& name, std::string* value);
bool WriteString(HKEY root, const std::string& subKey, const std::string& name,
                 const std::string& value);
// Value type (REG_DWORD ...) or REG_NONE when the value is missing.
DWORD ValueType(HKEY root, const std::string& subKey, const std::string& name);
// Size in bytes of a value's data, or -1 when it cannot be read.
long ValueSize(HKEY root, const std::string& subKey, const std::string& name);
bool DeleteValue(HKEY root, const std::string& subKey, const std::string& name);
bool KeyExists(HKEY root, const std::string& subKey);
// Deletes the key and everything under it; true also when it did not exist.
bool DeleteTree(HKEY root, const std::string& subKey);

// ---------------------------------------------------------------- reg.exe

// What Wine's reg.exe printed, and its exit code (DWORD(-1) when it did not end).
struct RegOutput {
    DWORD exitCode = DWORD(-1);
    std::string text;
};
// Runs reg.exe with args on the registry view of this program's architecture
// (bounded wait).
RegOutput RunReg(const std::string& args);
// A value as reg.exe lists it: type name ("REG_DWORD") and data ("0x10006").
struct RegValue {
    std::string type;
    std::string data;
};
// The value as `reg query "<key>" /v <name>` lists it; false when it does not.
bool RegQueryValue(const std::string& key, const std::string& name, RegValue* value);
// The value as reg.exe lists it, "<type> <data>" ("REG_DWORD 0x10006"), or ""
// when it does not.
std::string RegQueryText(const std::string& key, const std::string& name);
// True when `reg query "<key>"` finds the key.
bool RegKeyExists(const std::string& key);
// A REG_DWORD's data as reg.exe lists it.
std::string RegDwordText(DWORD value);

// ---------------------------------------------------------------- helper program

// Caption and class of the window shown by the hung-window helper.
constexpr const char* kHungWindowCaption = "Tiermo Test Hung Window";
constexpr const char* kHungWindowClass = "TiermoTestHungWindow";
constexpr const char* kHungPopupCaption = "Tiermo Test Owned Popup";
// Posted to the helper's window: stop pumping messages for wParam ms.
constexpr UINT kHangMessage = WM_APP + 1;

} // namespace driver
