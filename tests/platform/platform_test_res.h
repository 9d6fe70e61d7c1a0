// Resource identifiers of the framework-layer test program. #defines only:
// shared by the test sources and platform_test.rc.
#pragma once

// At (0, 0) without a centring style: centred by the framework.
#define IDD_TEST_CENTRED 100
// The same in the classic (non-extended) template format.
#define IDD_TEST_CENTRED_CLASSIC 101
// Placed by its template: never moved by the framework.
#define IDD_TEST_PLACED 102
// Has a button with the framework's help command identifier.
#define IDD_TEST_HELP_BUTTON 103
// An edit and a static for data exchange.
#define IDD_TEST_DDX 104

#define IDC_TEST_EDIT 1001
#define IDC_TEST_LABEL 1002
#define IDC_TEST_HELP 57670
#define IDS_TEST_APP_TITLE 57344
