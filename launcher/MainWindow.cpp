#include "launcher/MainWindow.h"

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "launcher/LaunchFlow.h"
#include "marking/SharedBlockPublication.h"
#include "marking/SpirelBinding.h"
#include "marking/WindowMarking.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "security/ComServerKeyGuard.h"
#include "ui/Dialogs.h"
#include "ui/resource.h"

void (*g_handOffLaunch)(const std::string& text) = RunLaunchFlow;

namespace {

// Set while this process destroys its own main window: the WM_DESTROY that
// DestroyWindow sends may run nested in a message another thread sent.
bool s_destroyingOwnWindow = false;

// Set by the shutdown. Reports and timers still queued behind WM_DESTROY
// find nothing to do, and a second WM_DESTROY does not shut down again.
bool s_ended = false;

std::string WindowTextOf(HWND window)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The block of a first instance that has just created it may not hold its
// window yet: two links opened together start two instances at once.
HookSharedBlock ReadPublishedBlock(const SharedBlockView& view)
{
    HookSharedBlock block = {0, 0};
    for (int attempt = 0; attempt < 40; ++attempt) {
        view.Read(&block, sizeof block);
        if (block.mainWindow)
            break;
        Sleep(25);
    }
    return block;
}

// Held by a start from its SetWindowTextA to the end of its SendMessageA:
// the text is the message's payload, and another start's text must not
// take its place in between.
const char kHandOffMutexName[] = "HandOffMutexClassObject_Ver1";
// A hand-off waits at most this long for the starts before it (each may
// wait for a launch flow's first window).
const DWORD kHandOffQueueLimit = 5 * 60 * 1000;
// How long a refused start waits for the ending instance's block to go.
const DWORD kBlockGoneLimit = 5000;

enum class HandOff { NoInstance, Taken, Refused };

// The mutex is nobody's to keep: whoever holds it too long (or left it
// abandoned) only delays the hand-off, which then goes out all the same.
class HandOffTurn {
public:
    HandOffTurn() : mutex_(CreateMutexA(nullptr, FALSE, kHandOffMutexName))
    {
        DWORD waited = mutex_ ? WaitForSingleObject(mutex_.get(), kHandOffQueueLimit) : WAIT_FAILED;
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~HandOffTurn()
    {
        if (held_)
            ReleaseMutex(mutex_.get());
    }
    HandOffTurn(const HandOffTurn&) = delete;
    HandOffTurn& operator=(const HandOffTurn&) = delete;

private:
    unique_handle mutex_;
    bool held_ = false;
};

// Another instance finds the block and hands its command line over. Only
// the answer 1 means that it took the text.
HandOff HandOffToFirstInstance(const std::string& commandLine)
{
    SharedBlockView view;
    if (!view.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME))
        return HandOff::NoInstance;
    HookSharedBlock block = ReadPublishedBlock(view);
    HWND firstWindow = BlockWindow(block.mainWindow);
    HandOffTurn turn;
    SetWindowTextA(firstWindow, commandLine.c_str());
    // Synchronous: the first instance runs the launch before this returns.
    LRESULT answer = SendMessageA(firstWindow, g_hookMessages.runNewProgram, 0, 0);
    return answer == 1 ? HandOff::Taken : HandOff::Refused;
}

// False when another instance took the text. An instance that refuses it
// is ending: its block goes in a moment, and this start becomes the first
// instance. A block that stays (some process keeps it open) does not lose
// the link either: this start runs it, unpublished.
bool PublishOrHandOff(HWND window, const std::string& commandLine)
{
    DWORD start = GetTickCount();
    do {
        HandOff handOff = HandOffToFirstInstance(commandLine);
        if (handOff == HandOff::Taken)
            return false;
        if (handOff == HandOff::NoInstance && CreateSharedBlock()) {
            PublishSharedBlock(window, nullptr);
            return true;
        }
        // Another start won the race for the block, or the ending one still
        // holds it.
        Sleep(50);
    } while (GetTickCount() - start < kBlockGoneLimit);
    return true;
}

LRESULT OnRunNewProgram(HWND window)
{
    // An instance that is ending would launch into a tracker that is gone:
    // the sender starts the text itself instead.
    if (s_ended)
        return 0;
    std::string text = WindowTextOf(window);
    launchTrace.WriteFormat("WM_RUN_NEW_PROGRAMM -> %s", text.c_str());
    g_handOffLaunch(text);
    return 1;
}

LRESULT OnCreateWindowReport(WPARAM wParam, LPARAM lParam)
{
    if (s_ended)
        return 0;
    hookLog.WriteFormat("__ NEW WND __ (0x%.08X)", static_cast<UINT>(wParam));
    OnNewWindow(reinterpret_cast<HWND>(wParam), static_cast<DWORD>(lParam));
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
// longer listens. A second instance's window, never published, shuts
// nothing down; nor does a WM_DESTROY that another thread (another
// process) sends: the shutdown unlocks the COM-server key.
void OnDestroy(HWND window)
{
    if (s_ended || window != g_launcher.mainWindow || (InSendMessage() && !s_destroyingOwnWindow))
        return;
    s_ended = true;
    UnhookAll();
    CloseSharedBlock();
    RestoreComServerKey();
    PostQuitMessage(0);
}

// The window's own destruction: Exit, and WM_CLOSE (from whichever thread)
// as DefWindowProcA would handle it.
void DestroyOwnWindow(HWND window)
{
    s_destroyingOwnWindow = true;
    DestroyWindow(window);
    s_destroyingOwnWindow = false;
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
                        MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
        return 0;
    case IDM_EXIT:
        DestroyOwnWindow(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void OnTimer(UINT_PTR timerId)
{
    if (!s_ended)
        ExpirePendingLaunch(timerId);
}

}  // namespace

// A refusal is no hand-off: the start goes on as a first instance, and its
// publication waits for the ending instance's block to go.
bool HandOffToRunningInstance(const std::string& commandLine)
{
    return HandOffToFirstInstance(commandLine) == HandOff::Taken;
}

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

bool StartSingleInstance(HINSTANCE instance, const std::string& commandLine)
{
    HWND window = CreateWindowExA(0, g_launcher.windowClassName, g_launcher.windowTitle,
                                  WS_OVERLAPPEDWINDOW, 4096, 0, 0, 0, nullptr, nullptr, instance,
                                  nullptr);
    if (!window) {
        MessageBoxA(nullptr, "NOT Create Windows", "", MB_OK);
        return false;
    }
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    // The window of a second instance is left to its process exit.
    if (!PublishOrHandOff(window, commandLine))
        return false;
    g_launcher.mainWindow = window;
    s_ended = false;
    return true;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Registered numbers are not constants: they are compared first.
    if (message == g_hookMessages.runNewProgram)
        return OnRunNewProgram(window);
    if (message == g_hookMessages.createWindow)
        return OnCreateWindowReport(wParam, lParam);
    if (message == g_hookMessages.windowEvent)
        return OnWindowEvent(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_CLOSE:
        DestroyOwnWindow(window);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
