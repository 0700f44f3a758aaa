// A program whose windows the hook tests watch from another process.
//
//   HookTarget.exe READY-EVENT REPORT-FILE KIND...
//
// Creates one hidden window per KIND, in order: "overlapped"
// (WS_OVERLAPPEDWINDOW), "popup" (WS_POPUP | WS_CAPTION | WS_SYSMENU),
// "nosysmenu" (WS_CAPTION alone), "child" (a child of the first window),
// "owned" (a captioned window owned by the first). Writes "KIND HANDLE" lines,
// "pid N" and "path MODULE" to REPORT-FILE, sets READY-EVENT and runs until
// the first window is destroyed (exit 0) or 60 seconds pass (exit 2).
// WM_APP to a window makes it set a new big icon on itself, as a program
// changes its own icons (icon handles do not travel between processes).
//
//   HookTarget.exe send WINDOW MESSAGE-NAME
//
// Sends the registered message MESSAGE-NAME (wParam 0, lParam 0) to WINDOW
// (hexadecimal) and exits with the result the receiver returned.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kClassName[] = "HookTargetWindow";
HWND g_firstWindow;

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY && window == g_firstWindow)
        PostQuitMessage(0);
    if (message == WM_APP)
        return SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)LoadIconA(nullptr, IDI_WARNING));
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateKind(const char* kind)
{
    DWORD style = 0;
    HWND parent = nullptr;
    if (!strcmp(kind, "overlapped"))
        style = WS_OVERLAPPEDWINDOW;
    else if (!strcmp(kind, "popup"))
        style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    else if (!strcmp(kind, "nosysmenu"))
        style = WS_CAPTION;
    else if (!strcmp(kind, "child"))
        style = WS_CHILD | WS_CAPTION | WS_SYSMENU, parent = g_firstWindow;
    else if (!strcmp(kind, "owned"))
        style = WS_OVERLAPPEDWINDOW, parent = g_firstWindow;
    else
        return nullptr;
    return CreateWindowExA(0, kClassName, kind, style, 10, 10, 200, 150, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && !strcmp(argv[1], "send")) {
        HWND window = (HWND)(UINT_PTR)strtoul(argv[2], nullptr, 16);
        return (int)SendMessageA(window, RegisterWindowMessageA(argv[3]), 0, 0);
    }
    if (argc < 4)
        return 1;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TargetProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);

    FILE* report = fopen(argv[2], "w");
    if (!report)
        return 1;
    for (int i = 3; i < argc; ++i) {
        HWND window = CreateKind(argv[i]);
        if (!g_firstWindow)
            g_firstWindow = window;
        fprintf(report, "%s %lx\n", argv[i], (unsigned long)(UINT_PTR)window);
    }
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    fprintf(report, "pid %lu\npath %s\n", GetCurrentProcessId(), path);
    fclose(report);

    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (ready)
        SetEvent(ready);
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd)
            return 2;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
