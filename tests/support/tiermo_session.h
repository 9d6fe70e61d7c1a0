// One run of the real Tiermo.exe for GUI tests: started with the version
// record already current (so that no About box opens by itself), its main
// dialog found, and the process ended when the session ends.
#pragma once

#include "Driver.h"
#include "product.h"
#include "resource.h"

#include <gtest/gtest.h>

namespace tiermo_test {

constexpr const char* kVersionKey = TIERMO_VERSION_KEY;
constexpr const char* kVersionValue = TIERMO_VERSION_ENTRY;
constexpr DWORD kCurrentVersion = TIERMO_VERSION;
constexpr const char* kDialogClass = "#32770";
constexpr const char* kCaption = "Tiermo";
// How long the program may take to start or to end.
constexpr int kStartMs = 10000;
constexpr int kExitMs = 5000;
// Time the new window is given before input is sent to it.
constexpr int kSettleMs = 300;

// Tiermo's main dialog among the windows of pid (a message box has the same
// caption and class, but no drag icons).
inline HWND FindMainDialog(DWORD pid)
{
    for (HWND h : driver::TopLevelWindows(true))
        if (driver::WindowPid(h) == pid && driver::ClassName(h) == kDialogClass &&
            driver::Caption(h) == kCaption && ::GetDlgItem(h, IDC_TOP))
            return h;
    return nullptr;
}

class TiermoSession {
public:
    // Launches the program and waits until its dialog takes input.
    ::testing::AssertionResult Start()
    {
        if (!driver::WriteDword(HKEY_LOCAL_MACHINE, kVersionKey, kVersionValue, kCurrentVersion))
            return ::testing::AssertionFailure() << "cannot write the version record";
        if (!m_process.Launch(driver::TiermoExe()))
            return ::testing::AssertionFailure()
                   << "cannot start " << driver::TiermoExe() << ": error " << ::GetLastError();
        driver::WaitUntil([&] { return (m_hDlg = FindMainDialog(m_process.Pid())) != nullptr; },
                          kStartMs);
        if (!m_hDlg)
            return ::testing::AssertionFailure()
                   << "no main dialog; Tiermo " << driver::DescribeState(m_process) << "\n"
                   << driver::DescribeWindows();
        driver::WaitUntil([&] { return driver::SendBounded(m_hDlg, WM_NULL, 0, 0); }, kStartMs);
        driver::WaitUntil([&] { return ::GetForegroundWindow() == m_hDlg; }, kSettleMs);
        driver::Pause(kSettleMs);
        return ::testing::AssertionSuccess();
    }

    HWND Dialog() const { return m_hDlg; }
    HWND Item(int id) const { return ::GetDlgItem(m_hDlg, id); }
    POINT CenterOf(int id) const { return driver::Center(driver::ControlRect(m_hDlg, id)); }
    driver::Process& Process() { return m_process; }

    // True when the program ended by itself within the time, with exit code 0.
    bool EndedNormally(int timeoutMs = kExitMs)
    {
        return m_process.WaitForExit(timeoutMs) && m_process.ExitCode() == 0;
    }

private:
    driver::Process m_process;
    HWND m_hDlg = nullptr;
};

} // namespace tiermo_test
