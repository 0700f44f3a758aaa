#include "marking/WindowTracker.h"

#include "common/AtlException.h"
#include "marking/InstanceEnd.h"
#include "marking/SharedBlockPublication.h"
#include "marking/SpirelBinding.h"
#include "marking/WindowMarking.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"

#include <algorithm>
#include <cstring>
#include <new>

WindowTrackerState g_tracker;

namespace {

const size_t kNotTracked = static_cast<size_t>(-1);

// A window reported destroyed is normally gone within milliseconds; one
// whose child windows take long to go is looked at for a few seconds. The
// windows so reported, still there when the report came.
const UINT kRecheckPeriod = 250;
const int kRechecks = 20;
std::vector<HWND> s_reportedAlive;
int s_rechecksLeft = 0;

UINT HandleValue(const void* handle)
{
    return static_cast<UINT>(reinterpret_cast<UINT_PTR>(handle));
}

// Appends to the three parallel lists, or to none of them.
size_t AppendEntry(const HookId& entry)
{
    try {
        size_t count = g_tracker.hookIds.size() + 1;
        g_tracker.hookIds.reserve(count);
        g_tracker.bigIcons.reserve(count);
        g_tracker.smallIcons.reserve(count);
    } catch (const std::bad_alloc&) {
        throw CAtlException(E_OUTOFMEMORY);
    }
    g_tracker.hookIds.push_back(entry);
    g_tracker.bigIcons.push_back(nullptr);
    g_tracker.smallIcons.push_back(nullptr);
    return g_tracker.hookIds.size() - 1;
}

// The one place that removes an entry: closes its handles, destroys its
// icons and removes it from the three lists. A window with a single icon
// carries the same composition in both slots, and it is destroyed once.
void DropEntry(size_t index)
{
    if (index >= g_tracker.hookIds.size())
        throw CAtlException(E_INVALIDARG);
    HookId& entry = g_tracker.hookIds[index];
    if (entry.hProcess)
        CloseHandle(entry.hProcess);
    if (entry.hThread)
        CloseHandle(entry.hThread);
    HICON big = g_tracker.bigIcons[index], small = g_tracker.smallIcons[index];
    if (big)
        DestroyIcon(big);
    if (small && small != big)
        DestroyIcon(small);
    g_tracker.hookIds.erase(g_tracker.hookIds.begin() + index);
    g_tracker.bigIcons.erase(g_tracker.bigIcons.begin() + index);
    g_tracker.smallIcons.erase(g_tracker.smallIcons.begin() + index);
}

size_t FindEntry(HWND window)
{
    for (size_t i = 0; i < g_tracker.hookIds.size(); ++i)
        if (g_tracker.hookIds[i].hWnd == window)
            return i;
    return kNotTracked;
}

void DropReportedWindow(size_t index)
{
    HWND window = g_tracker.hookIds[index].hWnd;
    BOOL rez = g_spirel.UnHookWnd(window, g_tracker.hookIds[index].hHook);
    DWORD error = GetLastError();
    --g_tracker.countHOOK;
    hookLog.WriteFormat("REMOVE END PROGRAMM \tHWND(0x%.08X) \t\t\t\tcountHOOK(%d)", HandleValue(window),
                        g_tracker.countHOOK);
    hookLog.WriteFormat("UnHookWnd(hookId.hWnd, hookId.hHook, TRUE) -> BOOL rez = %d; ERROR rez = %d", rez,
                        static_cast<int>(error));
    DropEntry(index);
}

DWORD ProcessOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// The tracked window of PROCESSID that WINDOW joins, if any.
const HookId* SameProcessEntry(HWND window, DWORD processId)
{
    for (const HookId& entry : g_tracker.hookIds)
        if (entry.hWnd != window && ProcessOf(entry.hWnd) == processId)
            return &entry;
    return nullptr;
}

void InstallCbtHookOnce()
{
    if (g_tracker.gHookCBT)
        return;
    if (g_spirel.HookCbt(nullptr, &g_tracker.gHookCBT, "GetHookMessageCBT"))
        PublishCbtHook(g_tracker.gHookCBT);
    else
        hookLog.WriteRaw("gHookCBT NULL");
}

}  // namespace

bool EveryTrackedProcessEnded()
{
    for (const HookId& entry : g_tracker.hookIds) {
        if (entry.hProcess) {
            if (WaitForSingleObject(entry.hProcess, 0) != WAIT_OBJECT_0)
                return false;
            continue;
        }
        // A window that still exists has a process that still runs.
        if (IsWindow(entry.hWnd))
            return false;
    }
    return true;
}

bool NothingLeftToWatch()
{
    return g_tracker.hookIds.empty() && g_tracker.pendingLaunches.empty() && g_tracker.launchesUnderway == 0;
}

// Dropping the windows that have gone ends the instance when nothing is
// left to watch, with or without a window to drop.
void ClosingCheck()
{
    RemoveDeadWindows();
}

void TrackLaunchedWindow(HWND window, HANDLE process, HANDLE thread)
{
    HookId entry = {window, nullptr, process, thread};
    if (g_spirel.HookWindow(window, &entry.hHook, "GetProcRet")) {
        MarkCaption(window);
        ++g_tracker.countHOOK;
        hookLog.WriteFormat("HOOK NEW \t\tHWND(0x%.08X) \t\t\t\tcountHOOK(%d)", HandleValue(window),
                            g_tracker.countHOOK);
        MarkIcons(window, AppendEntry(entry));
        InstallCbtHookOnce();
    } else {
        // The handles were handed over with the window; without an entry to
        // own them nobody else would close them.
        if (process)
            CloseHandle(process);
        if (thread)
            CloseHandle(thread);
    }
    ClosingCheck();
}

void OnNewWindow(HWND window)
{
    // The reported process id is the poster's word; the window's own
    // process is the system's.
    DWORD processId = ProcessOf(window);
    char className[260] = "";
    GetClassNameA(window, className, sizeof className);
    bool ignored = IsIgnoredWindowClass(className);
    hookLog.WriteFormat("__%s __", className);

    // Owned windows (dialogs of a browser window) and child windows are
    // covered by their top-level window's hook and never tracked themselves.
    const HookId* joined = ignored || !processId ? nullptr : SameProcessEntry(window, processId);
    if (joined && !GetParent(window) && !GetWindow(window, GW_OWNER)) {
        HookId entry = {window, nullptr, nullptr, nullptr};
        HWND joinedWindow = joined->hWnd;
        if (g_spirel.HookWindow(window, &entry.hHook, "GetProcRet")) {
            MarkCaption(window);
            ++g_tracker.countHOOK;
            hookLog.WriteFormat("ADD HOOK \t\tHWND(0x%.08X) to \tHWND(0x%.08X) \tcountHOOK(%d)",
                                HandleValue(window), HandleValue(joinedWindow), g_tracker.countHOOK);
            MarkIcons(window, AppendEntry(entry));
            ResolvePendingLaunch(window);
        }
    }
    ClosingCheck();
}

// The hook reports a window's destruction from inside it, so a tracked
// window may still exist when the report comes; a forged report names a
// live one. Either is looked at again shortly after, never dropped alive:
// its hook and its entry are what keep the instance and the key lock.
void OnWindowDestroyed(HWND window)
{
    size_t index = FindEntry(window);
    if (index != kNotTracked && IsWindow(window)) {
        if (std::find(s_reportedAlive.begin(), s_reportedAlive.end(), window) == s_reportedAlive.end())
            s_reportedAlive.push_back(window);
        s_rechecksLeft = kRechecks;
        SetTimer(g_launcher.mainWindow, kRecheckTimerId, kRecheckPeriod, nullptr);
    } else if (index != kNotTracked) {
        DropReportedWindow(index);
    }
    ClosingCheck();
}

// A window that has gone since its report is dropped as reported; one still
// there after the last look stays tracked like any live window.
void RecheckDestroyedWindows()
{
    for (auto it = s_reportedAlive.begin(); it != s_reportedAlive.end();) {
        size_t index = FindEntry(*it);
        if (index != kNotTracked && IsWindow(*it)) {
            ++it;
            continue;
        }
        if (index != kNotTracked)
            DropReportedWindow(index);
        it = s_reportedAlive.erase(it);
    }
    if (s_reportedAlive.empty() || --s_rechecksLeft <= 0) {
        KillTimer(g_launcher.mainWindow, kRecheckTimerId);
        s_reportedAlive.clear();
    }
    ClosingCheck();
}

void RemoveDeadWindows()
{
    for (size_t i = 0; i < g_tracker.hookIds.size();) {
        const HookId& entry = g_tracker.hookIds[i];
        if (IsWindow(entry.hWnd)) {
            ++i;
            continue;
        }
        g_spirel.UnHookWnd(entry.hWnd, entry.hHook);
        --g_tracker.countHOOK;
        hookLog.WriteFormat("REMOVE KILLED\t\tHWND(0x%.08X) \t\t\t\tcountHOOK(%d)\r",
                            HandleValue(entry.hWnd), g_tracker.countHOOK);
        DropEntry(i);
    }
    if (NothingLeftToWatch())
        EndInstance();
}

void UnhookAll()
{
    for (size_t i = g_tracker.hookIds.size(); i-- > 0;) {
        BOOL rez = g_spirel.UnHookWnd(g_tracker.hookIds[i].hWnd, g_tracker.hookIds[i].hHook);
        hookLog.WriteFormat("UnHookWnd(hookId.hWnd, hookId.hHook) -> BOOL rez = %d; ERROR rez = %d",
                            rez, static_cast<int>(GetLastError()));
    }
    // The entries go through the same removal as any other; the handles
    // they own are closed with them.
    while (!g_tracker.hookIds.empty())
        DropEntry(g_tracker.hookIds.size() - 1);
    std::vector<HookId>().swap(g_tracker.hookIds);
    std::vector<HICON>().swap(g_tracker.bigIcons);
    std::vector<HICON>().swap(g_tracker.smallIcons);
    if (g_tracker.gHookCBT) {
        BOOL rez = g_spirel.UnHookWnd(nullptr, g_tracker.gHookCBT);
        DWORD error = GetLastError();
        if (rez)
            g_tracker.gHookCBT = nullptr;
        hookLog.WriteFormat("UnHookWnd(NULL, gHookCBT) -> BOOL rez = %d; ERROR rez = %d", rez,
                            static_cast<int>(error));
    }
}

bool IsIgnoredWindowClass(const char* className)
{
    // Helper windows of browser add-ons and media players: top-level and
    // captioned, but never a window the user browses in.
    static const char* const kIgnored[] = {
        "IEHelper Object", "EWHAcrobatSessionWindow", "EWHAcrobatSenderWindow", "NewBrowserSink",
        "atlcommon_timer", "VideoRenderer", "FilterGraphWindow",
    };
    if (!className)
        return false;
    for (const char* ignored : kIgnored)
        if (strstr(className, ignored))
            return true;
    return false;
}
