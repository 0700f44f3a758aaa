// The single-instance hand-off: a start finds the first instance through
// its shared block and gives it the command line, or becomes the first
// instance itself and publishes its window.
#pragma once

#include <windows.h>
#include <string>

// When another instance runs: hands COMMANDLINE to it and is true. The
// link has been launched when this returns, or, when the instance was in a
// launch already, is queued to be launched after it. A second start needs
// no window of its own for that. Also true when the block or the hand-off
// mutex is another program's: the link then ran protected and untracked.
bool HandOffToRunningInstance(const std::string& commandLine);

// Publishes WINDOW (or none yet: the first start publishes its window once
// made) in a new shared block, unless another instance takes
// COMMANDLINE first: then false. Waits a moment for an instance that is
// ending to let its block go. Also false, after running COMMANDLINE
// protected and untracked, when nothing can be published.
bool PublishOrHandOff(HWND window, const std::string& commandLine);

// What a start runs when it cannot be or reach a first instance of
// Quillet's: the protected start without tracking. A test may record.
extern void (*g_untrackedLaunch)(const std::string& text);
