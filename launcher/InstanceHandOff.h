// The single-instance hand-off: a start finds the first instance through
// its shared block and gives it the command line, or becomes the first
// instance itself and publishes its window.
#pragma once

#include <windows.h>
#include <string>

// When another instance runs: hands COMMANDLINE to it (synchronously: its
// launch flow has run when this returns) and is true. A second start needs
// no window of its own for that.
bool HandOffToRunningInstance(const std::string& commandLine);

// Publishes WINDOW in a new shared block, unless another instance takes
// COMMANDLINE first: then false. Waits a moment for an instance that is
// ending to let its block go.
bool PublishOrHandOff(HWND window, const std::string& commandLine);
