#include "programwide/DiagnosticLog.h"

#include "common/UniqueHandle.h"
#include "programwide/FormatText.h"

#include <string>

LogChannel hookLog;
LogChannel launchTrace;

void LogChannel::SetFile(const char* path) noexcept
{
    lstrcpynA(path_, path ? path : "", sizeof path_);
}

void LogChannel::WriteRaw(const char* text) noexcept
{
    if (path_[0] == '\0')
        return;
    try {
        std::string record = std::string(text) + "\r";
        // Write sharing is withheld so that a record is never interleaved
        // with another writer's; the file is closed after each record so that
        // it is complete whenever someone reads it.
        unique_file file(CreateFileA(path_, FILE_READ_DATA | FILE_WRITE_DATA, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            file.reset(CreateFileA(path_, FILE_WRITE_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    } catch (...) {
        // A record that cannot be built for lack of memory is lost quietly.
    }
}

void LogChannel::WriteFormat(const char* format, ...) noexcept
{
    if (path_[0] == '\0')
        return;
    std::string text;
    bool formatted = false;
    va_list arguments;
    va_start(arguments, format);
    try {
        text = FormatTextV(format, arguments);
        formatted = true;
    } catch (...) {
        // Out of memory: the record is lost quietly.
    }
    va_end(arguments);
    if (formatted)
        WriteRaw(text.c_str());
}
