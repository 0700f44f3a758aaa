// The folder part of a path in the ANSI code page, whose double-byte
// characters may carry a backslash as their second byte: the path is walked
// character by character.
#pragma once

#include <windows.h>
#include <stddef.h>

// The length of PATH's folder part, without its last backslash (0 when the
// path holds none).
inline size_t PathFolderLength(const char* path) noexcept
{
    const char* lastSeparator = nullptr;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\')
            lastSeparator = p;
    }
    return lastSeparator ? size_t(lastSeparator - path) : 0;
}
