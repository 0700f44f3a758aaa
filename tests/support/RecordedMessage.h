// One message a window received, with what its procedure returned (left 0
// where a recorder does not see the result).
#pragma once

#include <windows.h>
#include <ostream>

struct RecordedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool operator==(const RecordedMessage& other) const
    {
        return window == other.window && message == other.message && wParam == other.wParam &&
               lParam == other.lParam && result == other.result;
    }
};
void PrintTo(const RecordedMessage& entry, std::ostream* out);
