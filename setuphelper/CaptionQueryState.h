// What one caption query remembers between the calls of the installer: the
// anchor window, the child processes not yet matched to a window and the
// strings still to be handed out. One per process, for one calling thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CaptionQueryState {
    HWND anchorWindow = nullptr;
    std::vector<DWORD> childList;
    std::vector<std::string> stringList;  // first in, first out

    void Clear();

    // Hands out the first string: *size 0 asks for its length (the string
    // stays); otherwise the first *size bytes of BUFFER are cleared, the
    // string cut to *size characters is copied with a NUL (BUFFER holds
    // *size + 1 bytes) and leaves the list. False when the list is empty.
    bool DeliverFirst(char* buffer, DWORD* size);
};

extern CaptionQueryState captionQueryState;
