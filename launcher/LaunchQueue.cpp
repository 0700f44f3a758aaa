#include "launcher/LaunchQueue.h"

#include "launcher/LaunchFlow.h"
#include "marking/WindowTracker.h"

#include <deque>

void (*g_handOffLaunch)(const std::string& text) = RunLaunchFlow;

namespace {

std::deque<std::string> s_waiting;
// True while the outermost call launches: a nested call only queues, so
// that no launch runs inside another's wait.
bool s_launching = false;

}  // namespace

void LaunchInTurn(const std::string& text)
{
    s_waiting.push_back(text);
    ++g_tracker.launchesUnderway;
    if (s_launching)
        return;
    s_launching = true;
    while (!s_waiting.empty()) {
        std::string next = s_waiting.front();
        s_waiting.pop_front();
        // The launch counts itself from here on, until its window.
        --g_tracker.launchesUnderway;
        g_handOffLaunch(next);
    }
    s_launching = false;
}
