// The start-up of the first instance: the claimed single-instance block, a
// fresh hook log, the locked COM-server key, the launch of the command line
// (during which the hidden main window and the overlay icons are made), and
// the message loop that keeps the instance resident.
#pragma once

// The exit code: 0 when another instance took the command line or the main
// window could not be set up, else the wParam of WM_QUIT.
int RunFirstInstance();

// The main window with its class, and the overlay icons; the launch flow
// makes them once the first browser runs. False when the window could not
// be made.
bool MakeFirstInstanceWindow();

// Runs until WM_QUIT; accelerators 109 are translated for every window.
int RunMessageLoop();
