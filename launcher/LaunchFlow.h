// Starting one command line protected inside the first instance and handing
// the started program's first window to the window tracker.
#pragma once

#include <windows.h>
#include <string>

void RunLaunchFlow(const std::string& text);
// The same start, verified, but nothing waits for its window or tracks it:
// for a start that cannot be or reach a first instance.
void RunUntrackedLaunch(const std::string& text);
BOOL CALLBACK FindFirstWindow(HWND window, LPARAM ignored);
std::string ExtractBrowserArguments(const std::string& text);

// The first window FindFirstWindow took; cleared before each enumeration.
extern HWND g_firstWindow;

// How long a run waits for the started program's first window. Quillet keeps
// the 60 seconds; a test may shorten the wait to see its end.
extern DWORD g_firstWindowWaitLimit;
