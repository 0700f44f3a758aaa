// The links the first instance launches: one at a time, in the order they
// came. A launch waits for its browser's first window and answers what
// other programs send meanwhile; a hand-off among those is answered at once
// and launched when the launches before it have ended.
#pragma once

#include <string>

// Launches TEXT now or, inside a launch under way, after it. From here
// until its launch has its window the link counts as under way, so that
// nothing ends the instance before it has run.
void LaunchInTurn(const std::string& text);

// What a link in its turn runs: the launch flow. A test may put a recorder
// in its place.
extern void (*g_handOffLaunch)(const std::string& text);
