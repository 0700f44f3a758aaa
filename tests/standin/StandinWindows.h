// The stand-in browser's windows: the captioned main frame (whose text says
// what the process's token holds), an optional second frame, an optional
// caption-less window shown before the main frame, and an owned dialog.
// The program ends when the last of its top-level windows is gone.
#pragma once

#include "tests/standin/StandinOptions.h"

#include <windows.h>

#include <string>

// Registers the window classes; false if that failed.
bool RegisterStandinClasses(HINSTANCE instance);

// Creates the first windows OPTIONS ask for; false if none could be made.
// PROTECTION is the text the main frame shows; DENYONLY picks its headline.
bool OpenStandinWindows(const StandinOptions& options, const std::string& protection, bool denyOnly);

// The message loop; returns the exit code for WinMain.
int RunStandinLoop();
