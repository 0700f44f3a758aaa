// A program for the setuphelper tests: real processes with real windows.
//
//   anchor CLASS READY CHILD...   starts one child per CHILD, waits until each
//                                 is ready, creates a window of class CLASS,
//                                 sets the named event READY and runs until
//                                 that window is closed.
//   child CHILD PARENT READY      the child's windows, then sets the named
//                                 event READY and runs until the process
//                                 with id PARENT ends.
//
// CHILD is "window:CAPTION" (a visible, unowned window with CAPTION),
// "owned" (a hidden main window with a visible owned popup and a visible
// owned overlapped window) or "none" (no window at all).
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const char windowClass[] = "PellowTestProcessWindow";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterWindowClass(const char* name)
{
    WNDCLASSA windowClassInfo = {};
    windowClassInfo.lpfnWndProc = WindowProcedure;
    windowClassInfo.hInstance = GetModuleHandleA(nullptr);
    windowClassInfo.lpszClassName = name;
    RegisterClassA(&windowClassInfo);
}

HWND CreateTopLevel(const char* className, const char* caption, DWORD style, HWND owner)
{
    return CreateWindowExA(0, className, caption, style, 10, 10, 200, 100, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void SignalReady(const char* name)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    SetEvent(ready);
    CloseHandle(ready);
}

// Pumps messages until the window's WM_QUIT or the object is signalled.
void RunUntil(HANDLE object)
{
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(object ? 1 : 0, &object, FALSE, INFINITE,
                                                QS_ALLINPUT);
        if (object && woken == WAIT_OBJECT_0)
            return;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return;
            DispatchMessageA(&message);
        }
    }
}

void CreateChildWindows(const char* kind)
{
    RegisterWindowClass(windowClass);
    if (strncmp(kind, "window:", 7) == 0) {
        CreateTopLevel(windowClass, kind + 7, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
    } else if (strcmp(kind, "owned") == 0) {
        HWND main = CreateTopLevel(windowClass, "Hidden main", WS_OVERLAPPEDWINDOW, nullptr);
        // GetParent names the owner of a popup only; the overlapped one is
        // known as owned by GW_OWNER alone.
        CreateTopLevel(windowClass, "Owned dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE, main);
        CreateTopLevel(windowClass, "Owned window", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, main);
    }
}

int RunChild(const char* kind, DWORD parentId, const char* ready)
{
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    if (!parent)
        return 3;
    CreateChildWindows(kind);
    SignalReady(ready);
    RunUntil(parent);
    return 0;
}

// Starts "child KIND" and waits until it is ready; false if it never is.
bool StartChild(const char* kind, const std::string& ready)
{
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string commandLine = std::string("\"") + program + "\" child \"" + kind + "\" " +
                              std::to_string(GetCurrentProcessId()) + " " + ready;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    bool ok = CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &started) &&
              WaitForSingleObject(readyEvent, 10000) == WAIT_OBJECT_0;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    CloseHandle(readyEvent);
    return ok;
}

// The children end when this process does: each waits on it.
int RunAnchor(const char* className, const char* ready, char** children, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!StartChild(children[i], std::string(className) + "-child-" + std::to_string(i)))
            return 3;
    }
    RegisterWindowClass(className);
    if (!CreateTopLevel(className, "Anchor", WS_OVERLAPPEDWINDOW, nullptr))
        return 4;
    SignalReady(ready);
    RunUntil(nullptr);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc >= 4 && strcmp(__argv[1], "anchor") == 0)
        return RunAnchor(__argv[2], __argv[3], __argv + 4, __argc - 4);
    if (__argc == 5 && strcmp(__argv[1], "child") == 0)
        return RunChild(__argv[2], strtoul(__argv[3], nullptr, 10), __argv[4]);
    return 2;
}
