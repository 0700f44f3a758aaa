#include "launcher/LaunchFlow.h"

#include "associations/BrowserDiscovery.h"
#include "common/UniqueHandle.h"
#include "launcher/FirstInstance.h"
#include "launcher/MainWindow.h"
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

// Starts TEXT protected, or the fallback browser with its arguments, and
// lets it run once its token is verified. Otherwise false, with the
// warning to show in WARNING.
bool StartAndRun(const std::string& text, StartedProcess& started, UINT& warning)
{
    bool startedRestricted = StartRestricted(text, started);
    launchTrace.WriteFormat(startedRestricted ? "Run restricted -> %s" : "NO Run restricted -> %s", text.c_str());
    if (!startedRestricted && !StartFallback(text, started)) {
        warning = IDS_INVALID_APPLICATION;
        return false;
    }
    if (!RunIfProtected(started, text)) {
        warning = IDS_NOT_SAFE_MODE;
        return false;
    }
    return true;
}

// The first start makes its main window only once its browser runs (or
// failed to start): the browser's start-up overlaps the window's. A window
// that cannot be made ends that browser before it shows anything, and the
// instance with it.
bool EnsureMainWindow(StartedProcess& started)
{
    if (g_launcher.mainWindow)
        return true;
    if (MakeFirstInstanceWindow())
        return true;
    if (started.process)
        TerminateProcess(started.process, 1);
    CloseStarted(started);
    MessageBoxA(nullptr, "NOT Create Windows", "", MB_OK);
    return false;
}

enum class WaitResult { Window, Ended, TimedOut, NotRun, NoMainWindow };

// Windows delivers a message that another thread sends to this thread's
// windows only while the thread looks at its queue, and the sender waits
// until then: the shell's DDE start of a document, a settings broadcast,
// a second start's hand-off; on the 64-bit editions also the desktop-wide
// hook, which the system calls on this thread for every 64-bit program
// (SetWindowsHookEx's remarks). They are answered during the wait; posted
// messages (the hook's reports among them) stay queued, in their order.
// PM_NOREMOVE keeps them there even where PM_QS_SENDMESSAGE is not honoured.
void AnswerSentMessages()
{
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// The window is read into FOUND the moment the enumeration has taken it:
// a message answered later may start another enumeration.
WaitResult WaitForFirstWindow(const StartedProcess& started, HWND& found)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < g_firstWindowWaitLimit) {
        g_firstWindow = nullptr;
        // Thread id 0 (a version on which nothing is started) must not be
        // taken as "any thread".
        if (started.threadId)
            EnumThreadWindows(started.threadId, FindFirstWindow, 0);
        found = g_firstWindow;
        if (found)
            return WaitResult::Window;
        // A process that ended, or a handle that is not usable (nothing was
        // started), ends the wait at once.
        if (!started.process)
            return WaitResult::Ended;
        DWORD woken = MsgWaitForMultipleObjects(1, &started.process, FALSE, kPollStep, QS_SENDMESSAGE);
        if (woken != WAIT_TIMEOUT && woken != WAIT_OBJECT_0 + 1)
            return WaitResult::Ended;
        AnswerSentMessages();
    }
    return WaitResult::TimedOut;
}

// From the start to the first window the launch is under way: whatever the
// wait answers meanwhile sees it so, and ends nothing.
WaitResult StartAndWait(const std::string& text, StartedProcess& started, HWND& window, UINT& warning)
{
    ++g_tracker.launchesUnderway;
    WaitResult result = WaitResult::NotRun;
    bool running = StartAndRun(text, started, warning);
    if (!EnsureMainWindow(started)) {
        result = WaitResult::NoMainWindow;
    } else if (running) {
        PrepareIconMarking();
        result = WaitForFirstWindow(started, window);
    }
    --g_tracker.launchesUnderway;
    return result;
}

} // namespace

void RunLaunchFlow(const std::string& text)
{
    StartedProcess started;
    HWND window = nullptr;
    UINT warning = IDS_NOT_SAFE_MODE;
    switch (StartAndWait(text, started, window, warning)) {
    case WaitResult::Window:
        TrackLaunchedWindow(window, started.process, started.thread);
        return;
    case WaitResult::Ended:
        // Nobody tracks a process that showed no window: its handles go now.
        CloseStarted(started);
        launchTrace.WriteFormat("NO bProcess -> %s", text.c_str());
        AddPendingLaunch(text);
        return;
    case WaitResult::NoMainWindow:
        ShutDownInstance();
        return;
    case WaitResult::TimedOut:
        CloseStarted(started);
        break;
    case WaitResult::NotRun:
        break;
    }
    ShowLaunchWarning(warning, text);
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
