// Resource identifiers of Quillet.exe. The numbers are part of the program's
// interface: installers and older builds load these resources by number.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif

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

// Bitmaps of the settings dialog (static pictures) and of the skinned
// startup dialog (faces drawn by the dialog itself, and its progress strip).
#define IDB_SETTINGS_KEYS_PANEL 157   // 402 x 90, behind the bypass keys
#define IDB_SETTINGS_INFO_PANEL 159   // 402 x 86
#define IDB_SETTINGS_MAKER_MARK 161   // 62 x 18, beside the web link
#define IDB_STARTUP_FACE        169   // 482 x 362, nothing under the pointer
#define IDB_STARTUP_FACE_SAFE   170   // pointer over the protected button
#define IDB_STARTUP_FACE_UNSAFE 171   // pointer over the unprotected button
#define IDB_STARTUP_STRIP       173   // 445 x 16, the countdown strip

// Controls of the startup dialogs.
#define IDC_PROGRESS            1017  // classic variant only
#define IDC_SECURE_MODE         1018  // classic variant only
#define IDC_AUTOSTART           1019  // classic variant only
#define IDC_DONT_SHOW           1020  // classic variant: "Don't show this dialog again"
#define IDC_WEB_LINK            1039  // the maker's notice, made into a web link
#define IDC_UNPROTECTED_BUTTON  1046  // command of the unprotected picture button

// Controls of the settings dialog.
#define IDC_SHOW_STARTUP        1020  // same id as IDC_DONT_SHOW, the opposite sense
#define IDC_KEY_SHIFT           1027
#define IDC_STARTUP_SECONDS     1031
#define IDC_KEY_CTRL            1032
#define IDC_KEY_ALT             1033
#define IDC_BYPASS_TEXT         1045

// Check box of the Internet Explorer default prompt.
#define IDC_ALWAYS_CHECK        1023
