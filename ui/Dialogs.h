// Dialog procedures of Quillet's user interface.
//
// The entry shows the two main dialogs with DialogBoxParamA(instance, template,
// no owner, procedure, 0):
//   settings dialog (IDD_SETTINGS, 129): 1 = OK, settings saved; 2 = Cancel;
//       0 = the web link was clicked, g_launcher.commandLine holds its address.
//   startup dialog (IDD_STARTUP, 155): 1 = go on (protected while
//       g_launcher.runRestricted is 1, which the unprotected button clears);
//       0 = the web link was clicked, g_launcher.commandLine holds its
//       address; 2 = cancelled (Escape), the process ends.
// MainWindow shows the About box (IDD_ABOUT, 103) on command 104, owned by
// itself. The settings dialog shows the default-browser prompt
// (IDD_DEFAULT_PROMPT, 133): 1 = Yes, 2 = No.
#pragma once

#include <windows.h>

INT_PTR CALLBACK StartupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);   // template 155
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);  // template 129
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);     // template 103
INT_PTR CALLBACK DefaultBrowserPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam); // template 133

// "RunShow" 0 when the dialog's "don't show again" box is ticked; "While" 0
// when its auto-start box is ticked, else 1 (the skinned dialog has neither
// box, so it stores "While" 1 and leaves "RunShow" alone).
void SaveStartupChoices(HWND dialog);
// The strip's bitmap (173); a test may name one that does not exist.
extern UINT g_startupStripBitmap;

// Fills the settings dialog's controls from the settings and runs the
// association checks, with their warning and prompts.
void InitSettingsDialog(HWND dialog);

// Stores "Key", "WhileShow" and "RunShow" from the controls; always true.
bool SaveSettingsDialog(HWND dialog);
