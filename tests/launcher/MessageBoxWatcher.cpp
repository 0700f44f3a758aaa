#include "tests/launcher/MessageBoxWatcher.h"

MessageBoxWatcher::MessageBoxWatcher(DWORD threadId, WORD answer)
    : threadId_(threadId), answer_(answer), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      watcher_(CreateThread(nullptr, 0, Watch, this, 0, nullptr))
{
}

MessageBoxWatcher::~MessageBoxWatcher()
{
    Stop();
}

const std::vector<SeenMessageBox>& MessageBoxWatcher::Stop()
{
    if (watcher_) {
        SetEvent(stop_.get());
        WaitForSingleObject(watcher_.get(), INFINITE);
        watcher_.reset();
    }
    return seen_;
}

DWORD WINAPI MessageBoxWatcher::Watch(void* self)
{
    auto* watcher = static_cast<MessageBoxWatcher*>(self);
    while (WaitForSingleObject(watcher->stop_.get(), 10) == WAIT_TIMEOUT)
        EnumThreadWindows(watcher->threadId_, Answer, reinterpret_cast<LPARAM>(watcher));
    return 0;
}

BOOL CALLBACK MessageBoxWatcher::Answer(HWND window, LPARAM self)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    auto* watcher = reinterpret_cast<MessageBoxWatcher*>(self);
    HWND textControl = GetDlgItem(window, 0xFFFF);   // the box's static text
    std::vector<char> text(GetWindowTextLengthA(textControl) + 1);
    GetWindowTextA(textControl, text.data(), static_cast<int>(text.size()));
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    watcher->seen_.push_back({text.data(), caption, GetWindow(window, GW_OWNER) != nullptr});
    // Disabled at once so that the next round does not count it again.
    EnableWindow(window, FALSE);
    PostMessageA(window, WM_COMMAND, watcher->answer_, 0);
    return TRUE;
}
