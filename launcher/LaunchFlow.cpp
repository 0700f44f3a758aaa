#include "launcher/LaunchFlow.h"

#include "associations/BrowserDiscovery.h"
#include "common/UniqueHandle.h"
#include "launcher/QuotedProgramPath.h"
#include "marking/WindowMarking.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "security/ProtectedTokenCheck.h"
#include "security/RestrictedLauncher.h"
#include "ui/LaunchWarning.h"
#include "ui/resource.h"

#include <cctype>
#include <vector>

HWND g_firstWindow = nullptr;
DWORD g_firstWindowWaitLimit = 60000;

namespace {

// The window is looked for again after every step: the step bounds the
// latency between the window appearing and Quillet taking it, and the CPU
// the wait costs while the browser starts.
const DWORD kPollStep = 10;

// What one successful start hands to the wait.
struct StartedProcess {
    DWORD threadId = 0;
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
};

bool StartRestricted(const std::string& commandLine, StartedProcess& started)
{
    char status[256] = {};
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    return RunRestricted(nullptr, writable.data(), status, sizeof status, &started.threadId, &started.process,
                         &started.thread) == 0;
}

// The browser to put in front of the arguments: the handler saved by the
// takeover, a whole command as it was stored, or Internet Explorer's path.
bool FindFallbackBrowser(std::string& browser)
{
    if (ReadSavedBrowserCommand(g_launcher.productCaption, browser))
        return true;
    std::string path;
    if (!LocateBrowserFromSetup(path))
        return false;
    browser = QuotedProgramPath(path);
    return true;
}

bool StartFallback(const std::string& text, StartedProcess& started)
{
    std::string browser;
    if (!FindFallbackBrowser(browser))
        return false;
    std::string command = browser + " " + ExtractBrowserArguments(text);
    if (!StartRestricted(command, started))
        return false;
    launchTrace.WriteFormat("Run old browser restricted -> %s", command.c_str());
    return true;
}

void CloseStarted(StartedProcess& started)
{
    unique_handle process(started.process);
    unique_handle thread(started.thread);
    started = StartedProcess();
}

// The started program runs only once its token, read back from the system,
// is the restricted one; otherwise it ends before its first instruction and
// nothing of it is tracked or marked.
bool RunIfProtected(StartedProcess& started, const std::string& text)
{
    // Nothing was started: a version on which Quillet does not restrict.
    if (!started.process)
        return true;
    ProtectedTokenVerdict verdict;
    bool resumed = ResumeIfProtected(started.process, started.thread, verdict);
    if (verdict.restrictingSidsUnanswered)
        hookLog.WriteFormat("RESTRICTING SIDS UNANSWERED -> %s", text.c_str());
    if (resumed)
        return true;
    hookLog.WriteFormat("NOT SAFE (%s) -> %s", verdict.reason.c_str(), text.c_str());
    CloseStarted(started);
    return false;
}

enum class WaitResult { Window, Ended, TimedOut };

WaitResult WaitForFirstWindow(const StartedProcess& started)
{
    g_firstWindow = nullptr;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < g_firstWindowWaitLimit) {
        // Thread id 0 (a version on which nothing is started) must not be
        // taken as "any thread".
        if (started.threadId)
            EnumThreadWindows(started.threadId, FindFirstWindow, 0);
        if (g_firstWindow)
            return WaitResult::Window;
        // A process that ended, or a handle that is not usable (nothing was
        // started), ends the wait at once.
        if (WaitForSingleObject(started.process, kPollStep) != WAIT_TIMEOUT)
            return WaitResult::Ended;
    }
    return WaitResult::TimedOut;
}

} // namespace

void RunLaunchFlow(const std::string& text)
{
    StartedProcess started;
    bool waiting = StartRestricted(text, started);
    launchTrace.WriteFormat(waiting ? "Run restricted -> %s" : "NO Run restricted -> %s", text.c_str());
    if (!waiting) {
        waiting = StartFallback(text, started);
        if (!waiting)
            ShowLaunchWarning(IDS_INVALID_APPLICATION, text);
    }
    if (waiting && !RunIfProtected(started, text)) {
        waiting = false;
        ShowLaunchWarning(IDS_NOT_SAFE_MODE, text);
    }
    if (waiting) {
        PrepareIconMarking();
        switch (WaitForFirstWindow(started)) {
        case WaitResult::Window:
            TrackLaunchedWindow(g_firstWindow, started.process, started.thread);
            return;
        case WaitResult::Ended:
            // Nobody tracks a process that showed no window: its handles go now.
            CloseStarted(started);
            launchTrace.WriteFormat("NO bProcess -> %s", text.c_str());
            AddPendingLaunch(text);
            return;
        case WaitResult::TimedOut:
            CloseStarted(started);
            ShowLaunchWarning(IDS_NOT_SAFE_MODE, text);
            break;
        }
    }
    ClosingCheck();
}

void RunUntrackedLaunch(const std::string& text)
{
    StartedProcess started;
    if (!StartRestricted(text, started) && !StartFallback(text, started)) {
        ShowLaunchWarning(IDS_INVALID_APPLICATION, text);
        return;
    }
    if (!RunIfProtected(started, text)) {
        ShowLaunchWarning(IDS_NOT_SAFE_MODE, text);
        return;
    }
    CloseStarted(started);
}

BOOL CALLBACK FindFirstWindow(HWND window, LPARAM)
{
    // A splash screen is visible but has no caption bar: the program's first
    // real window is a captioned, visible top-level window.
    WINDOWINFO info = {};
    info.cbSize = sizeof info;
    if (!IsWindow(window) || !GetWindowInfo(window, &info))
        return TRUE;
    const DWORD wanted = WS_VISIBLE | WS_CAPTION;
    if ((info.dwStyle & wanted) != wanted || (info.dwStyle & WS_CHILD))
        return TRUE;
    g_firstWindow = window;
    return FALSE;
}

std::string ExtractBrowserArguments(const std::string& text)
{
    std::string upper = text;
    if (!upper.empty())
        CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    size_t start = 0;
    size_t match = upper.find("IEXPLORE.EXE\"");
    if (match != std::string::npos) {
        start = match + 13;
    } else if ((match = upper.find("IEXPLORE.EXE")) != std::string::npos) {
        start = match + 12;
    }
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}
