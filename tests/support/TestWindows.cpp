#include "tests/support/TestWindows.h"

#include "tests/support/TestProcess.h"

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    WindowSearch* search = (WindowSearch*)context;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid)
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD pid)
{
    WindowSearch search = {pid, {}};
    EnumWindows(CollectWindow, (LPARAM)&search);
    return search.found;
}

std::vector<HWND> VisibleWindowsOf(DWORD pid)
{
    std::vector<HWND> visible;
    for (HWND window : TopLevelWindowsOf(pid))
        if (IsWindowVisible(window))
            visible.push_back(window);
    return visible;
}

HWND FindCaptionedWindow(DWORD pid)
{
    for (HWND window : TopLevelWindowsOf(pid))
        if (IsWindowVisible(window) && GetWindowTextLengthA(window) > 0)
            return window;
    return nullptr;
}

HWND WaitForCaptionedWindow(DWORD pid, DWORD timeoutMs)
{
    HWND window = nullptr;
    WaitUntil(timeoutMs, [&] { return (window = FindCaptionedWindow(pid)) != nullptr; });
    return window;
}

std::string WindowCaption(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}
