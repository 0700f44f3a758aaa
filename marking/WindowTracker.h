// The windows of protected browser processes that Quillet tracks, the icons
// composed for them, the desktop-wide CBT hook and the pending launches.
// Everything here runs on the main window's thread.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct HookId {
    HWND hWnd;
    HHOOK hHook;
    HANDLE hProcess;   // only on the first window of a launched process
    HANDLE hThread;
};

// A launch whose process ended before it showed a window. The text is kept
// whole, however long: the program path it must contain may come late in it.
struct PendingLaunch {
    std::string text;
    UINT timerId;
};

// The tracker's state. The three HookId-indexed arrays always have the same
// length: every insertion appends to all three, every removal removes the
// same index from all three.
struct WindowTrackerState {
    std::vector<HookId> hookIds;
    std::vector<HICON> bigIcons;
    std::vector<HICON> smallIcons;
    int countHOOK = 0;
    HHOOK gHookCBT = nullptr;
    std::vector<PendingLaunch> pendingLaunches;
    UINT nextTimerId = 1;
    // Links whose launch is running, or answered and waiting its turn: the
    // instance does not end while there is one, whatever the lists say.
    unsigned launchesUnderway = 0;
};

extern WindowTrackerState g_tracker;

void TrackLaunchedWindow(HWND window, HANDLE process, HANDLE thread);
// A report names a window, and any program can post one: whose window it is,
// and whether it is gone, is asked of the system.
void OnNewWindow(HWND window);
void OnWindowDestroyed(HWND window);
void RemoveDeadWindows();
// The main window's timer that looks again at windows reported destroyed
// while they still existed. Pending launches never use its id: theirs wrap
// before it.
const UINT kRecheckTimerId = 0xFFFFFFFF;
void RecheckDestroyedWindows();
void UnhookAll();
void AddPendingLaunch(const std::string& text);
bool ResolvePendingLaunch(HWND window);
void ExpirePendingLaunch(UINT_PTR timerId);
bool IsIgnoredWindowClass(const char* className);

// How long a pending launch waits for its window. Quillet keeps the
// 10 seconds; a test may shorten the wait to see it expire.
extern UINT g_pendingLaunchPeriod;

// True when the process of every tracked window has ended (or nothing is
// tracked); a process that cannot be asked counts as running.
bool EveryTrackedProcessEnded();

// True when nothing is tracked, pending or under way: the instance may end.
bool NothingLeftToWatch();

// If nothing is left to watch, ends the instance (WM_DESTROY to the main
// window); otherwise drops windows that have gone.
void ClosingCheck();
