#pragma once

// The Windows program's resource and command numbers, shared by the resource script and the code.

// Menu, accelerators, icon and the document string share this number.
#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDD_PANEL_FORM 101
#define IDD_PRODUCTION_FORM 102
#define IDD_PORT_SETUP 133
#define IDS_APP_TITLE 57344

// Commands.
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_MRU_FILE1 57616
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_HELP_FINDER 57667
#define ID_STAY_ON_TOP 32771
#define ID_PORT_SETUP 32773
#define ID_VIEW_PRODUCTION 32775

// The panel's form.
#define IDC_CLOCK 1001
#define IDC_START 1002
#define IDC_IDENTITY 1003
#define IDC_STATUS 1004
#define IDC_ONLINE 1005
#define IDC_GEOMETRY 1006
#define IDC_MAKE_BIN 1007
// The outcome of the last action, in words, below the status bar.
#define IDC_OUTCOME 1008

// The production form.
#define IDC_FIRMWARE 1101
#define IDC_BOARD_LIST 1102
#define IDC_AUTO 1103
#define IDC_START_BOARD 1104
#define IDC_COUNTERS 1105
// Runs that could not be added to the flash log, and why.
#define IDC_LOG_TROUBLE 1106

// The port setup dialog.
#define IDC_PORT_LIST 1004
#define IDC_BAUD_LIST 1005
