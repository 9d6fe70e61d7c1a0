// The application object: start-up check, the main dialog, and the Help and
// About commands that the main dialog routes on.
#pragma once

#include "platform/Afx.h"
#include "settings/Settings.h"

class CTiermoApp : public CWinApp {
public:
    CTiermoApp();
    ~CTiermoApp() override;

    BOOL InitInstance() override;
    // Start-up of the version record: the registry key name, the running
    // version stamped in, the record's key aimed at it, the stored one read.
    void InitVersionRecord();

    // False for Windows versions before Windows 95 (GetVersion's value:
    // bit 31 set outside the NT family, major version in the low byte).
    static bool IsSupportedWindowsVersion(DWORD dwVersion);

    // The current application object when it is a CTiermoApp, else null (the
    // dialogs then run without a version record).
    static CTiermoApp* GetCurrent();

    // Command handlers: the About box and the Help window.
    void OnAppAbout();
    void OnHelp();

    // The version record: which version ran last on this machine.
    CSettings m_settings;

private:
    // True while OnHelp serves a request, so F1 in the Help window opens no second one.
    static BOOL s_bInHelp;

    DECLARE_MESSAGE_MAP()
};

// Messages of the start-up.
inline constexpr const char* kMsgUnsupportedWindows =
    "This application only runs under Windows 95 and Windows NT.";
inline constexpr const char* kMsgStartFailed =
    "The application could not start due to an unknown error.";
