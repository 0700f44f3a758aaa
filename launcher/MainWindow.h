// The first instance's hidden window: mailbox of the single-instance
// hand-off, receiver of the hook reports and timers; its destruction ends
// the instance.
#pragma once

#include <windows.h>
#include <string>

ATOM RegisterMainWindowClass(HINSTANCE instance);

// True only when this process is now the first instance: the shared block
// is its own, published without a window.
bool ClaimSingleInstance(const std::string& commandLine);

// The claimed instance's hidden window, published in its block. The first
// start makes it while its browser starts: a process's first window is one
// of the dearest steps of a start.
bool MakeMainWindow(HINSTANCE instance);

// Both steps at once, for an instance that needs its window at once.
bool StartSingleInstance(HINSTANCE instance, const std::string& commandLine);

// The shutdown that WM_DESTROY runs on the instance's own decision: hooks,
// block and key lock go, and the message loop ends. Also for an instance
// whose window could not be made.
void ShutDownInstance();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
