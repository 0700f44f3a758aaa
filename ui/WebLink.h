// The one web link of Quillet's dialogs: the maker's notice (control 1039)
// of the startup and the settings dialog, in command mode, so that the
// dialog itself decides what a click does.
#pragma once

#include "ui/HyperLink.h"

#include <windows.h>

extern HyperLink g_webLink;

// Attaches the process-wide link to the dialog's control 1039 with the
// maker's address (string 105) as its target.
void AttachWebLink(HWND dialog);

// True when a WM_COMMAND is the link's click report.
bool IsWebLinkClick(HWND dialog, WPARAM wParam, LPARAM lParam);

// Quillet's resources: the module the entry stored, else the program itself.
HINSTANCE UiModule();
