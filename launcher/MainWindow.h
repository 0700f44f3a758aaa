// The first instance's hidden window: mailbox of the single-instance
// hand-off, receiver of the hook reports and timers; its destruction ends
// the instance.
#pragma once

#include <windows.h>
#include <string>

ATOM RegisterMainWindowClass(HINSTANCE instance);

// True only when this process is now the first instance.
bool StartSingleInstance(HINSTANCE instance, const std::string& commandLine);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What a hand-off runs for the text it finds in the window title: the
// launch flow. A test may put a recorder in its place.
extern void (*g_handOffLaunch)(const std::string& text);
