// Optional plain-text trace files next to Quillet.exe. A channel without a
// path drops every record; writing never fails visibly and never throws.
#pragma once

#include <windows.h>

class LogChannel {
public:
    LogChannel() noexcept { path_[0] = '\0'; }

    // Binds the channel to PATH (at most 263 characters are kept).
    void SetFile(const char* path) noexcept;

    // Appends TEXT followed by one carriage return.
    void WriteRaw(const char* text) noexcept;

    // printf-style record (%d, %s, %.08X as in the C library).
    void WriteFormat(const char* format, ...) noexcept;

    const char* Path() const noexcept { return path_; }

private:
    char path_[264];
};

extern LogChannel hookLog;       // "HookWnd.log" when the setting "Log" is 1
extern LogChannel launchTrace;   // never bound: its records are dropped
