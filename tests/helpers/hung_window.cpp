// Test helper: shows a top-level window and stops answering messages when told,
// to check that nothing freezes when it meets a program that does not respond.
//
//   tiermo_hung_window.exe [--caption TEXT] [--hang-after MS] [--hang-for MS]
//                          [--popup] [--pos X Y W H] [--exit-after MS] [--trace]
//
// Posting driver::kHangMessage with wParam = milliseconds also makes it hang.
// It always ends by itself after --exit-after (default 90 s).
#include "Driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kMaxHangMs = 120000;
constexpr UINT_PTR kHangTimer = 1;
constexpr UINT_PTR kExitTimer = 2;
constexpr COLORREF kClientColour = RGB(0, 128, 128);

struct Options {
    std::string caption = driver::kHungWindowCaption;
    int hangAfterMs = -1;
    DWORD hangForMs = 60000;
    bool popup = false;
    RECT rect{120, 120, 120 + 320, 120 + 240};
    DWORD exitAfterMs = 90000;
    bool trace = false;
};

Options g_options;

void Hang(DWORD ms) { Sleep(std::min(ms, kMaxHangMs)); }

void Trace(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_SYSCOMMAND:
    case WM_ENTERSIZEMOVE:
    case WM_EXITSIZEMOVE:
    case WM_ACTIVATE:
    case WM_MOUSEACTIVATE:
    case WM_CAPTURECHANGED:
        fprintf(stderr, "%lu msg %04x wp %llx lp %llx\n", GetTickCount(), msg,
                static_cast<unsigned long long>(wParam), static_cast<unsigned long long>(lParam));
        break;
    default:
        break;
    }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_options.trace) {
        Trace(msg, wParam, lParam);
    }
    switch (msg) {
    case WM_TIMER:
        if (wParam == kHangTimer) {
            KillTimer(hwnd, kHangTimer);
            Hang(g_options.hangForMs);
        } else if (wParam == kExitTimer) {
            DestroyWindow(hwnd);
        }
        return 0;
    case driver::kHangMessage:
        Hang(static_cast<DWORD>(wParam));
        return 0;
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hwnd, &client);
        HBRUSH brush = CreateSolidBrush(kClientColour);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        DeleteObject(brush);
        return 1;
    }
    case WM_DESTROY:
        if (GetWindow(hwnd, GW_OWNER) == nullptr) {
            PostQuitMessage(0);
        }
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

bool ParseNumber(const char* text, long* value)
{
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0') {
        return false;
    }
    *value = number;
    return true;
}

bool ParseOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long n = 0;
        if (arg == "--caption" && i + 1 < argc) {
            g_options.caption = argv[++i];
        } else if (arg == "--hang-after" && i + 1 < argc && ParseNumber(argv[++i], &n)) {
            g_options.hangAfterMs = static_cast<int>(n);
        } else if (arg == "--hang-for" && i + 1 < argc && ParseNumber(argv[++i], &n) && n >= 0) {
            g_options.hangForMs = static_cast<DWORD>(n);
        } else if (arg == "--exit-after" && i + 1 < argc && ParseNumber(argv[++i], &n) && n > 0) {
            g_options.exitAfterMs = static_cast<DWORD>(n);
        } else if (arg == "--trace") {
            g_options.trace = true;
        } else if (arg == "--popup") {
            g_options.popup = true;
        } else if (arg == "--pos" && i + 4 < argc) {
            long v[4];
            for (long& value : v) {
                if (!ParseNumber(argv[++i], &value)) {
                    return false;
                }
            }
            g_options.rect = RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!ParseOptions(argc, argv)) {
        fprintf(stderr, "usage: tiermo_hung_window [--caption TEXT] [--hang-after MS] "
                        "[--hang-for MS] [--popup] [--pos X Y W H] [--exit-after MS] [--trace]\n");
        return 2;
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = driver::kHungWindowClass;
    if (!RegisterClassA(&wc)) {
        return 1;
    }
    const RECT& r = g_options.rect;
    HWND main = CreateWindowExA(0, driver::kHungWindowClass, g_options.caption.c_str(),
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (main == nullptr) {
        return 1;
    }
    if (g_options.popup) {
        CreateWindowExA(0, driver::kHungWindowClass, driver::kHungPopupCaption,
                        WS_POPUP | WS_CAPTION | WS_VISIBLE, r.left + 40, r.top + 60, 200, 120, main,
                        nullptr, wc.hInstance, nullptr);
    }
    if (g_options.hangAfterMs >= 0) {
        SetTimer(main, kHangTimer, static_cast<UINT>(g_options.hangAfterMs), nullptr);
    }
    SetTimer(main, kExitTimer, g_options.exitAfterMs, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
