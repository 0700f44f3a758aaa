// Starting one command line protected inside the first instance and handing
// the started program's first window to the window tracker.
#pragma once

#include <windows.h>
#include <string>

void RunLaunchFlow(const std::string& text);
BOOL CALLBACK FindFirstWindow(HWND window, LPARAM ignored);
std::string ExtractBrowserArguments(const std::string& text);
