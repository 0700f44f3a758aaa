// Finding the top-level windows of another process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The top-level windows of process PID, in Z order (hidden ones included).
std::vector<HWND> TopLevelWindowsOf(DWORD pid);

// The visible ones among them.
std::vector<HWND> VisibleWindowsOf(DWORD pid);

// The first visible top-level window of PID with a non-empty caption, or 0.
HWND FindCaptionedWindow(DWORD pid);

// Waits up to TIMEOUTMS for FindCaptionedWindow(PID), pumping messages.
HWND WaitForCaptionedWindow(DWORD pid, DWORD timeoutMs);

// The window's caption (GetWindowTextA).
std::string WindowCaption(HWND window);
