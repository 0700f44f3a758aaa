#include "associations/EnvironmentReferences.h"

#include <windows.h>

bool ReadEnvironmentVariable(const std::string& name, std::string& value)
{
    DWORD needed = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    // The value may change between the two calls; ask again until it fits.
    while (needed != 0) {
        std::string read(needed, '\0');
        DWORD length = GetEnvironmentVariableA(name.c_str(), &read[0], needed);
        if (length < needed) {
            read.resize(length);
            value.swap(read);
            return true;
        }
        needed = length;
    }
    return false;
}

std::string ExpandEnvironmentReferences(const std::string& text)
{
    std::string result;
    size_t position = 0;
    for (;;) {
        size_t open = text.find('%', position);
        if (open == std::string::npos) {
            result.append(text, position, std::string::npos);
            return result;
        }
        result.append(text, position, open - position);
        size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            result.append(text, open + 1, std::string::npos);
            return result;
        }
        std::string value;
        if (ReadEnvironmentVariable(text.substr(open + 1, close - open - 1), value))
            result += value;
        else
            result.append(text, open, close - open + 1);
        position = close + 1;
    }
}
