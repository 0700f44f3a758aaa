// One start of Quillet, from its command line to its exit code. WinMain only
// hands over; the pieces stay reachable for tests.
#pragma once

#include <windows.h>

// COMMANDLINE is the process command line without the program name.
int RunQuillet(HINSTANCE instance, const char* commandLine);
