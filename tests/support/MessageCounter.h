// A hidden top-level window of the test's thread that counts one message.
#pragma once

#include <windows.h>

class MessageCounter {
public:
    explicit MessageCounter(UINT message);
    ~MessageCounter();
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;

    HWND Window() const { return window_; }
    // Messages counted so far; sent ones arrive at once.
    int Count() const { return count_; }
    // Messages counted after handing out any still queued for the thread.
    int Received();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT message_;
    int count_ = 0;
    // The window's own destruction may send the counted message (WM_DESTROY).
    bool closing_ = false;
    HWND window_ = nullptr;
};
