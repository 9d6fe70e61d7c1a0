// Resource and control identifiers of Tiermo.exe. Shared by the C++ sources
// and the resource script, so it holds #defines only.
#pragma once

// Dialog templates
#define IDD_ABOUT 1001
#define IDD_MAIN 1003
#define IDD_HELP 1008

// Icons and cursors
#define IDI_APP 1000
#define IDI_POSITION 1004
#define IDI_POSITION_EMPTY 1005
#define IDC_POSITION_HOVER 1006
#define IDC_POSITION_DRAG 1007

// Main dialog controls
#define IDC_TOP 3003
#define IDC_BOTTOM 3004
#define IDC_NORMAL 3005

// About box controls
#define IDC_NAME_VERSION 100
#define IDC_NOTICE 101
#define IDC_DESCRIPTION 102
#define IDC_ABOUT_TEXT 103

// Help window controls
#define IDC_HELP_TEXT 100

// Framework identifiers that the script uses (checked against their
// definitions in app/TiermoApp.cpp)
#define IDR_APP_TITLE 57344
#define IDC_CMD_HELP 57670
#define IDC_CMD_APP_ABOUT 57664
