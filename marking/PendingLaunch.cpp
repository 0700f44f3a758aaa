// Launches whose process ended before it showed a window: most often a
// browser that passed the link on to a browser already running. Each waits
// on a timer of the main window for a window of the program it names.
#include "marking/WindowTracker.h"

#include "common/AtlException.h"
#include "common/UniqueHandle.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "ui/LaunchWarning.h"
#include "ui/resource.h"

#include <psapi.h>
#include <new>

UINT g_pendingLaunchPeriod = 10000;

namespace {

// The program path of WINDOW's process; empty when it cannot be read.
std::string ProgramPathOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return std::string();
    char path[MAX_PATH + 1] = "";
    GetModuleFileNameExA(process.get(), nullptr, path, sizeof path);
    return path;
}

// The first record watched by TIMERID, or the end of the list.
std::vector<PendingLaunch>::iterator FindByTimer(UINT timerId)
{
    auto& launches = g_tracker.pendingLaunches;
    for (auto it = launches.begin(); it != launches.end(); ++it)
        if (it->timerId == timerId)
            return it;
    return launches.end();
}

}  // namespace

void AddPendingLaunch(const std::string& text)
{
    UINT timerId = g_tracker.nextTimerId;
    if (SetTimer(g_launcher.mainWindow, timerId, g_pendingLaunchPeriod, nullptr)) {
        hookLog.WriteFormat("ADD NOT RUN ( %s )\r", text.c_str());
        try {
            g_tracker.pendingLaunches.push_back(PendingLaunch{text, timerId});
        } catch (const std::bad_alloc&) {
            KillTimer(g_launcher.mainWindow, timerId);
            throw CAtlException(E_OUTOFMEMORY);
        }
        ++g_tracker.nextTimerId;
    }
    if (g_tracker.nextTimerId == kRecheckTimerId)
        g_tracker.nextTimerId = 1;
}

bool ResolvePendingLaunch(HWND window)
{
    auto& launches = g_tracker.pendingLaunches;
    if (launches.empty())
        return false;
    std::string path = ProgramPathOf(window);
    if (path.empty())
        return false;
    bool resolved = false;
    for (size_t i = 0; i < launches.size();) {
        if (launches[i].text.find(path) == std::string::npos) {
            ++i;
            continue;
        }
        KillTimer(g_launcher.mainWindow, launches[i].timerId);
        hookLog.WriteFormat("REMOVE NOT RUN \t( %s )", launches[i].text.c_str());
        launches.erase(launches.begin() + i);
        resolved = true;
    }
    return resolved;
}

void ExpirePendingLaunch(UINT_PTR timerId)
{
    UINT id = static_cast<UINT>(timerId);
    KillTimer(g_launcher.mainWindow, id);
    for (auto it = FindByTimer(id); it != g_tracker.pendingLaunches.end(); it = FindByTimer(id)) {
        std::string text = it->text;
        // The box's modal loop dispatches the main window's messages: the
        // handlers it runs may change the list, so the record stays in it
        // (and keeps the instance alive) until the box is closed, and is
        // looked up again afterwards.
        ShowLaunchWarning(IDS_NOT_SAFE_MODE, text);
        hookLog.WriteFormat("REMOVE NOT RUN ( %s )", text.c_str());
        it = FindByTimer(id);
        if (it != g_tracker.pendingLaunches.end())
            g_tracker.pendingLaunches.erase(it);
    }
    ClosingCheck();
}
