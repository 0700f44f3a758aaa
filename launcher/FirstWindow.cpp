#include "launcher/LaunchFlow.h"

HWND g_firstWindow = nullptr;

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
