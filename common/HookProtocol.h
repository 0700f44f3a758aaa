// What crosses the boundary between Quillet and the hook procedures of
// Spirel, which run inside other processes: the shared block, the registered
// messages and their event codes. Header only, no heap, no runtime: Spirel
// builds it in.
#pragma once

#include <windows.h>

// The named mapping through which hook procedures find the first instance.
// Its fields are 32-bit on every side; readers copy it whole.
struct HookSharedBlock {
    DWORD mainWindow;   // the first instance's hidden window
    DWORD cbtHook;      // the desktop-wide CBT hook, 0 until installed
};
static_assert(sizeof(HookSharedBlock) == 8, "the block is exactly 8 bytes");

// Window and hook handles fit in 32 bits on 64-bit Windows too (the system
// keeps them so for the sake of 32-bit programs), so the block's layout is
// the same for both kinds of Spirel and Quillet.
inline DWORD BlockValueOf(HANDLE handle) { return HandleToULong(handle); }
inline HWND BlockWindow(DWORD value) { return static_cast<HWND>(ULongToHandle(value)); }
inline HHOOK BlockHook(DWORD value) { return static_cast<HHOOK>(ULongToHandle(value)); }

#define HOOK_SHARED_BLOCK_NAME "MappingClassObject_Ver_MFile"

#define HOOK_EXIT_MESSAGE_NAME        "WM_HOOK_EXIT_MSG"
#define CREATE_WINDOW_MESSAGE_NAME    "WM_CREATE_WND_MSG"
#define WINDOW_EVENT_MESSAGE_NAME     "WM_GET_MSG_WND_MSG"
#define RUN_NEW_PROGRAM_MESSAGE_NAME  "WM_RUN_NEW_PROGRAMM_MSG"

// wParam of "WM_GET_MSG_WND_MSG": what the hooked window has just handled.
enum WindowEvent : WPARAM {
    WindowEventCaption = 0,     // WM_SETTEXT, WM_NCPAINT, WM_NCACTIVATE
    WindowEventIcon = 1,        // WM_SETICON
    WindowEventDestroyed = 2,   // WM_DESTROY
};

// The numbers the system gave the four names in this process.
struct HookMessageIds {
    UINT hookExit;
    UINT createWindow;    // wParam new window, lParam its process id
    UINT windowEvent;     // wParam a WindowEvent, lParam the window
    UINT runNewProgram;   // hand-off: the text is in the receiver's title
};

inline HookMessageIds RegisterHookMessages()
{
    HookMessageIds ids;
    ids.hookExit = RegisterWindowMessageA(HOOK_EXIT_MESSAGE_NAME);
    ids.createWindow = RegisterWindowMessageA(CREATE_WINDOW_MESSAGE_NAME);
    ids.windowEvent = RegisterWindowMessageA(WINDOW_EVENT_MESSAGE_NAME);
    ids.runNewProgram = RegisterWindowMessageA(RUN_NEW_PROGRAM_MESSAGE_NAME);
    return ids;
}

// The event a call-window-return hook reports for MESSAGE; false for the
// messages it stays silent about, which are by far the most.
inline bool WindowEventOf(UINT message, WPARAM* event)
{
    switch (message) {
    case WM_SETTEXT:
    case WM_NCPAINT:
    case WM_NCACTIVATE:
        *event = WindowEventCaption;
        return true;
    case WM_SETICON:
        *event = WindowEventIcon;
        return true;
    case WM_DESTROY:
        *event = WindowEventDestroyed;
        return true;
    default:
        return false;
    }
}
