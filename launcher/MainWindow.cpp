#include "launcher/MainWindow.h"

#include "common/HookProtocol.h"
#include "launcher/InstanceHandOff.h"
#include "launcher/LaunchQueue.h"
#include "marking/InstanceEnd.h"
#include "marking/SharedBlockPublication.h"
#include "marking/SpirelBinding.h"
#include "marking/WindowMarking.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "security/ComServerKeyGuard.h"
#include "ui/Dialogs.h"
#include "ui/resource.h"

namespace {

// Set by the shutdown. Reports and timers still queued behind WM_DESTROY
// find nothing to do, and a second WM_DESTROY does not shut down again.
bool s_ended = false;

std::string WindowTextOf(HWND window)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The title is the mailbox of every hand-off: the text is copied before
// anything can answer the next one. A hand-off that comes while a launch
// waits for its window is answered at once and launched after it.
LRESULT OnRunNewProgram(HWND window)
{
    // An instance that is ending would launch into a tracker that is gone:
    // the sender starts the text itself instead.
    if (s_ended)
        return 0;
    std::string text = WindowTextOf(window);
    launchTrace.WriteFormat("WM_RUN_NEW_PROGRAMM -> %s", text.c_str());
    LaunchInTurn(text);
    return 1;
}

// The report's process id is ignored: the tracker asks the system.
LRESULT OnCreateWindowReport(WPARAM wParam)
{
    if (s_ended)
        return 0;
    hookLog.WriteFormat("__ NEW WND __ (0x%.08X)", static_cast<UINT>(wParam));
    OnNewWindow(reinterpret_cast<HWND>(wParam));
    return 0;
}

LRESULT OnWindowEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND reported = reinterpret_cast<HWND>(lParam);
    switch (wParam) {
    case WindowEventCaption:
        if (!s_ended)
            OnCaptionEvent(reported);
        return 0;
    case WindowEventIcon:
        if (!s_ended)
            OnIconEvent(reported);
        return 0;
    case WindowEventDestroyed:
        if (!s_ended)
            OnWindowDestroyed(reported);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Hooks first, then the block: no hook procedure may find a window that no
// longer listens. Only the instance's own decision shuts down: a WM_DESTROY
// that another process sends or posts (dispatched by the main loop or by
// any box's modal loop) ends nothing, nor does a second instance's window,
// never published. The decision holds inside a hand-off too, where the
// launch flow's closing check runs nested in another process's message.
void OnDestroy(HWND window)
{
    bool decided = TakeEndDecision();
    if (s_ended || window != g_launcher.mainWindow || !decided)
        return;
    ShutDownInstance();
}

// Exit and WM_CLOSE carry no sender: any program, the protected browser
// among them, can post them. While a window is tracked or a launch is under
// way (a sent one arrives inside the launch's wait) they end nothing (the
// windows that went away are dropped, which ends an idle instance).
void EndUnlessTracked()
{
    if (g_tracker.launchesUnderway) {
        hookLog.WriteFormat("EXIT REFUSED: %u launches under way", g_tracker.launchesUnderway);
        return;
    }
    if (!g_tracker.hookIds.empty()) {
        hookLog.WriteFormat("EXIT REFUSED: %d windows tracked", static_cast<int>(g_tracker.hookIds.size()));
        RemoveDeadWindows();
        return;
    }
    DestroyMainWindow();
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
                        MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
        return 0;
    case IDM_EXIT:
        EndUnlessTracked();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// At log-off or shutdown the system ends the process without WM_DESTROY.
// Any process can send this message too, so the instance shuts down (and
// gives the key back) only when no tracked browser still runs and no
// launch is under way (its browser may already run); otherwise
// the next run's recovery, or an uninstall, finds this instance's hold dead
// and gives the key back then.
void OnEndSession(HWND window, WPARAM ending)
{
    if (!ending || s_ended || window != g_launcher.mainWindow)
        return;
    if (EveryTrackedProcessEnded() && !g_tracker.launchesUnderway)
        EndInstance();
    else
        hookLog.WriteRaw("KEY LOCK: session ends while tracked browsers run, left to the next run");
}

void OnTimer(UINT_PTR timerId)
{
    if (s_ended)
        return;
    if (timerId == kRecheckTimerId)
        RecheckDestroyedWindows();
    else
        ExpirePendingLaunch(timerId);
}

}  // namespace

ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = g_launcher.windowClassName;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM_SMALL));
    return RegisterClassExA(&windowClass);
}

bool ClaimSingleInstance(const std::string& commandLine)
{
    // The block goes out without a window: a later start waits a moment
    // for the window to be published.
    if (!PublishOrHandOff(nullptr, commandLine))
        return false;
    s_ended = false;
    return true;
}

bool MakeMainWindow(HINSTANCE instance)
{
    HWND window = CreateWindowExA(0, g_launcher.windowClassName, g_launcher.windowTitle,
                                  WS_OVERLAPPEDWINDOW, 4096, 0, 0, 0, nullptr, nullptr, instance,
                                  nullptr);
    if (!window)
        return false;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    g_launcher.mainWindow = window;
    PublishSharedBlock(window, nullptr);
    return true;
}

bool StartSingleInstance(HINSTANCE instance, const std::string& commandLine)
{
    return ClaimSingleInstance(commandLine) && MakeMainWindow(instance);
}

void ShutDownInstance()
{
    s_ended = true;
    UnhookAll();
    CloseSharedBlock();
    RestoreComServerKey();
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Registered numbers are not constants: they are compared first.
    if (message == g_hookMessages.runNewProgram)
        return OnRunNewProgram(window);
    if (message == g_hookMessages.createWindow)
        return OnCreateWindowReport(wParam);
    if (message == g_hookMessages.windowEvent)
        return OnWindowEvent(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_CLOSE:
        EndUnlessTracked();
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_ENDSESSION:
        OnEndSession(window, wParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
