// The start-up of the first instance: the hidden main window, a fresh hook
// log, the overlay icons, the locked COM-server key, the launch of the
// command line, and the message loop that keeps the instance resident.
#pragma once

// The exit code: 0 when another instance took the command line or the main
// window could not be set up, else the wParam of WM_QUIT.
int RunFirstInstance();

// Runs until WM_QUIT; accelerators 109 are translated for every window.
int RunMessageLoop();
