// Test helper: a top-level window that disappears at the moment a drop is
// being carried out on it. Tiermo asks the window it found under the pointer
// for an answer (WM_NULL) before it flashes it and changes its Z-order; this
// window goes away right there, between the hit test and the action.
//
//   tiermo_vanishing_window.exe destroy|exit|owner|stay [X Y W H]
//
// destroy: the window destroys itself while answering WM_NULL.
// exit:    the process ends while WM_NULL is being answered.
// owner:   also shows an owned pop-up at X Y W H (the drop target); the owner,
//          which the drop climbs to, destroys itself and so the pop-up.
// stay:    an ordinary window that keeps answering (a drop target that
//          ignores the mouse, unlike an edit control).
// The helper always ends by itself after a minute.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kClass = "TiermoVanishingWindow";
constexpr const char* kCaption = "Tiermo Vanishing Window";
constexpr const char* kPopupCaption = "Tiermo Vanishing Popup";
constexpr UINT_PTR kExitTimer = 1;
constexpr UINT kExitAfterMs = 60000;
constexpr int kExitCode = 7;

enum class Mode { kDestroy, kExit, kOwner, kStay };
Mode g_mode = Mode::kDestroy;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NULL:
        if (GetWindow(hwnd, GW_OWNER) || g_mode == Mode::kStay)
            return 0;
        if (g_mode == Mode::kExit)
            ExitProcess(kExitCode);
        DestroyWindow(hwnd);
        return 0;
    case WM_TIMER:
        if (wParam == kExitTimer)
            DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        if (!GetWindow(hwnd, GW_OWNER))
            PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (std::strcmp(argv[1], "exit") == 0)
        g_mode = Mode::kExit;
    else if (std::strcmp(argv[1], "owner") == 0)
        g_mode = Mode::kOwner;
    else if (std::strcmp(argv[1], "stay") == 0)
        g_mode = Mode::kStay;
    else if (std::strcmp(argv[1], "destroy") != 0)
        return 2;
    int rect[4] = {600, 100, 300, 200};
    for (int i = 0; i < 4 && i + 2 < argc; ++i)
        rect[i] = std::atoi(argv[i + 2]);

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClass;
    if (!RegisterClassA(&wc))
        return 1;

    // In owner mode the owner sits away from the pop-up, so the drop lands on
    // the pop-up only.
    const bool owner = g_mode == Mode::kOwner;
    HWND hwnd = CreateWindowExA(0, kClass, kCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                owner ? 20 : rect[0], owner ? 520 : rect[1], owner ? 200 : rect[2],
                                owner ? 150 : rect[3], nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd)
        return 1;
    if (owner &&
        !CreateWindowExA(0, kClass, kPopupCaption, WS_POPUP | WS_CAPTION | WS_VISIBLE, rect[0],
                         rect[1], rect[2], rect[3], hwnd, nullptr, wc.hInstance, nullptr))
        return 1;
    SetTimer(hwnd, kExitTimer, kExitAfterMs, nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
