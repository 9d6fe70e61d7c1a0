// The floor for the benchmark: the smallest honest C++ Win32 dialog program,
// built with the same toolchain and flags as Tiermo. It shows one modal dialog
// from a template, keeps its caption in a std::string and runs inside a
// try/catch, so the C++ runtime's string and exception support are linked in.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "floor_resource.h"

namespace {

INT_PTR CALLBACK FloorDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const auto* caption = reinterpret_cast<const std::string*>(lParam);
        SetWindowTextA(hwnd, caption->c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(hwnd, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

std::string LoadCaption(HINSTANCE instance)
{
    char buffer[64] = {};
    if (LoadStringA(instance, IDS_FLOOR_TITLE, buffer, sizeof(buffer)) <= 0)
        throw std::runtime_error("The title string is missing.");
    return std::string(buffer);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    try {
        const std::string caption = LoadCaption(instance);
        return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_FLOOR), nullptr, FloorDialogProc,
                                   reinterpret_cast<LPARAM>(&caption)));
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), "Floor", MB_OK | MB_ICONSTOP);
        return 1;
    }
}
