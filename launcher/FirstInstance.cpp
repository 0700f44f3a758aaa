#include "launcher/FirstInstance.h"

#include "launcher/InstanceHandOff.h"
#include "launcher/LaunchQueue.h"
#include "launcher/MainWindow.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "programwide/LogPlace.h"
#include "security/ComServerKeyGuard.h"
#include "ui/resource.h"

namespace {

void LoadMainWindowNames()
{
    LoadStringA(g_launcher.instance, IDS_WINDOW_TITLE, g_launcher.windowTitle, sizeof g_launcher.windowTitle);
    LoadStringA(g_launcher.instance, IDS_WINDOW_CLASS, g_launcher.windowClassName,
                sizeof g_launcher.windowClassName);
}

// Every first instance begins a fresh hook log; a second instance never
// touches the file.
void StartHookLog()
{
    if (hookLog.Path()[0] == '\0')
        return;
    hookLog.SetFile(BeginLogFile("HookWnd.log").c_str());
    hookLog.WriteRaw(":__NEW SESSION________________>\r");
}

HICON LoadOverlayIcon(int widthMetric, int heightMetric)
{
    return static_cast<HICON>(LoadImageA(g_launcher.instance, MAKEINTRESOURCEA(IDI_OVERLAY), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}

} // namespace

int RunMessageLoop()
{
    HACCEL accelerators = LoadAcceleratorsA(g_launcher.instance, MAKEINTRESOURCEA(IDR_MAINWINDOW));
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // Windows never posts WM_DESTROY: one in the queue came from another
        // process, and would end the instance and unlock the COM-server key.
        if (message.message == WM_DESTROY)
            continue;
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

// The key is locked and the block claimed before the browser runs: a
// second start that finds the block never starts a launch of its own.
int RunFirstInstance()
{
    // A start that finds an instance running hands its link over before it
    // makes a window: a process's first window is one of the dearest steps
    // of a start, and this one would never be used.
    if (HandOffToRunningInstance(g_launcher.commandLine))
        return 0;
    LoadMainWindowNames();
    if (!ClaimSingleInstance(g_launcher.commandLine))
        return 0;
    StartHookLog();
    LockComServerKey();
    LaunchInTurn(g_launcher.commandLine);
    return RunMessageLoop();
}

bool MakeFirstInstanceWindow()
{
    if (!RegisterMainWindowClass(g_launcher.instance))
        MessageBoxA(nullptr, "Error", "", MB_OK);
    if (!MakeMainWindow(g_launcher.instance))
        return false;
    g_launcher.overlayBigIcon = LoadOverlayIcon(SM_CXICON, SM_CYICON);
    g_launcher.overlaySmallIcon = LoadOverlayIcon(SM_CXSMICON, SM_CYSMICON);
    return true;
}
