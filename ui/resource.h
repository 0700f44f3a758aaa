// Resource identifiers of Quillet.exe. The numbers are part of the program's
// interface: installers and older builds load these resources by number.
#pragma once

// Dialog templates.
#define IDD_ABOUT               103
#define IDD_SETTINGS            129
#define IDD_SETTINGS_CLASSIC    132   // kept in the resources; nothing creates it
#define IDD_DEFAULT_PROMPT      133
#define IDD_STARTUP             155

// String table.
#define IDS_WINDOW_TITLE        103
#define IDS_AUTOSTART_COUNTDOWN 104
#define IDS_MAKER_URL           105
#define IDS_NOT_SAFE_MODE       106
#define IDS_INVALID_APPLICATION 107
#define IDS_SET_IE_DEFAULT      108
#define IDS_WINDOW_CLASS        109
#define IDS_WARNING             110
#define IDS_SAFE_MARK           111
#define IDS_STARTUP_TITLE       112
#define IDS_PRODUCT_CAPTION     134

// Menu and accelerators of the main window.
#define IDR_MAINWINDOW          109
#define IDM_ABOUT               104
#define IDM_EXIT                105

// Icon groups.
#define IDI_PROGRAM             147
#define IDI_PROGRAM_SMALL       148
#define IDI_SETTINGS            149
#define IDI_SETTINGS_SMALL      150
#define IDI_OVERLAY             154

// Bitmaps of the skinned dialogs.
#define IDB_STARTUP_FACE_1      157
#define IDB_STARTUP_FACE_2      159
#define IDB_STARTUP_FACE_3      161
#define IDB_SETTINGS_1          169
#define IDB_SETTINGS_2          170
#define IDB_SETTINGS_3          171
#define IDB_SETTINGS_4          173

// Check box of the Internet Explorer default prompt.
#define IDC_ALWAYS_CHECK        1023
