// Dialog procedures of Quillet's user interface.
#pragma once

#include <windows.h>

INT_PTR CALLBACK StartupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);   // template 155
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);  // template 129
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);     // template 103
INT_PTR CALLBACK DefaultBrowserPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam); // template 133
