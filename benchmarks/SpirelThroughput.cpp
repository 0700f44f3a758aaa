// How much the call-window-return hook "GetProcRet" costs a hooked window:
// the time of one SendMessageA to a window (a) without a hook, (b) with an
// empty hook procedure that only calls CallNextHookEx (the platform's own
// cost of a hook), and (c) with Spirel's "GetProcRet", for a message it does
// not report and for one it reports to a main window on another thread.
// Prints the figures and the ratios c/b and b/a of one run.
#include <windows.h>
#include <stdio.h>

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"

namespace {

const UINT kSilentMessage = WM_APP + 1;   // not reported
const UINT kReportedMessage = WM_SETICON; // reported as an icon event
const int kRounds = 15;

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Both measured messages return at once: only the hooks' cost remains.
    if (message == kSilentMessage || message == kReportedMessage)
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHiddenWindow(const char* className, WNDPROC procedure)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

// The main window on a thread of its own, taking the reports as they come.
DWORD WINAPI RunReceiver(void* windowOut)
{
    HWND window = CreateHiddenWindow("BenchmarkReceiver", DefWindowProcA);
    *static_cast<HWND volatile*>(windowOut) = window;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    DestroyWindow(window);
    return 0;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Nanoseconds per SendMessageA over COUNT messages.
double Measure(HWND window, UINT message, int count)
{
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i)
        SendMessageA(window, message, 0, 0);
    QueryPerformanceCounter(&end);
    return Seconds(start, end) * 1e9 / count;
}

struct Figures {
    double unhooked = 1e30, emptyHook = 1e30, spirel = 1e30;
};

void KeepBest(double* best, double value)
{
    if (value < *best)
        *best = value;
}

typedef int(__cdecl* HookWindowRetFunction)(HWND, HHOOK*, void*);

// One round of the three set-ups, so that a disturbance of the machine
// touches all of them alike; the best of the rounds is kept.
struct Hooks {
    HMODULE emptyModule;
    HOOKPROC emptyProcedure;
    HookWindowRetFunction hookWindowRet;
};

void MeasureRound(HWND target, UINT message, int count, const Hooks& hooks, Figures* figures)
{
    KeepBest(&figures->unhooked, Measure(target, message, count));
    HHOOK empty = SetWindowsHookExA(WH_CALLWNDPROCRET, hooks.emptyProcedure, hooks.emptyModule,
                                    GetCurrentThreadId());
    KeepBest(&figures->emptyHook, Measure(target, message, count));
    UnhookWindowsHookEx(empty);
    HHOOK hook = nullptr;
    hooks.hookWindowRet(target, &hook, nullptr);
    KeepBest(&figures->spirel, Measure(target, message, count));
    UnhookWindowsHookEx(hook);
}

void Print(const char* what, const Figures& f)
{
    printf("%-22s a %8.0f ns   b %8.0f ns   c %8.0f ns   c/b %5.2f   b/a %5.2f\n", what, f.unhooked,
           f.emptyHook, f.spirel, f.spirel / f.emptyHook, f.emptyHook / f.unhooked);
}

}  // namespace

int main()
{
    HWND volatile receiver = nullptr;
    HANDLE receiverThread = CreateThread(nullptr, 0, RunReceiver, (void*)&receiver, 0, nullptr);
    while (!receiver)
        Sleep(1);
    SharedBlockView block;
    if (!block.Create(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME)) {
        printf("the shared block exists already: is Quillet running?\n");
        return 1;
    }
    HookSharedBlock content = {BlockValueOf(receiver), 0};
    block.Write(&content, sizeof content);

    Hooks hooks;
    HMODULE spirel = LoadLibraryA("Spirel.dll");
    hooks.hookWindowRet = (HookWindowRetFunction)(void (*)())GetProcAddress(spirel, "HookWindowRet");
    hooks.emptyModule = LoadLibraryA("EmptyHook.dll");
    hooks.emptyProcedure = (HOOKPROC)(void (*)())GetProcAddress(hooks.emptyModule, "EmptyCallWndRetHook");
    if (!hooks.hookWindowRet || !hooks.emptyProcedure) {
        printf("Spirel.dll or EmptyHook.dll not found\n");
        return 1;
    }

    HWND target = CreateHiddenWindow("BenchmarkTarget", TargetProc);
    const int silentCount = 10000, reportedCount = 2000;
    Figures silent, reported;
    for (int round = 0; round < kRounds; ++round) {
        MeasureRound(target, kSilentMessage, silentCount, hooks, &silent);
        MeasureRound(target, kReportedMessage, reportedCount, hooks, &reported);
    }

    printf("SendMessageA to a hooked window, best of %d rounds (a unhooked, b empty hook, c GetProcRet)\n",
           kRounds);
    Print("not reported (WM_APP)", silent);
    Print("reported (WM_SETICON)", reported);

    PostThreadMessageA(GetThreadId(receiverThread), WM_QUIT, 0, 0);
    WaitForSingleObject(receiverThread, 5000);
    CloseHandle(receiverThread);
    DestroyWindow(target);
    return 0;
}
