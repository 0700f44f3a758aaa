// Answers the message boxes (and other dialogs) that a thread shows, so that
// a test can run code that warns the user, and records what they said.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <string>
#include <vector>

struct SeenMessageBox {
    std::string text;
    std::string caption;
    bool hasOwner;
};

class MessageBoxWatcher {
public:
    // Watches the boxes of THREADID (the calling thread by default) and
    // answers each with the command ANSWER.
    explicit MessageBoxWatcher(DWORD threadId = GetCurrentThreadId(), WORD answer = IDOK);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Ends the watch; the boxes seen until then.
    const std::vector<SeenMessageBox>& Stop();

private:
    static DWORD WINAPI Watch(void* self);
    static BOOL CALLBACK Answer(HWND window, LPARAM self);

    DWORD threadId_;
    WORD answer_;
    unique_handle stop_;
    unique_handle watcher_;
    std::vector<SeenMessageBox> seen_;
};
