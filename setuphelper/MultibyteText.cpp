#include "setuphelper/MultibyteText.h"

#include "setuphelper/GrowOrThrow.h"

#include <windows.h>
#include <string.h>

std::string UpperCaseAnsi(const char* text)
{
    std::string upper;
    try {
        upper = text;
    } catch (const std::bad_alloc&) {
        throw CAtlException(E_OUTOFMEMORY);
    }
    // CharUpperBuffA goes through the code page's characters, so that a
    // trail byte is never mistaken for a lower-case letter.
    if (!upper.empty())
        CharUpperBuffA(&upper[0], (DWORD)upper.size());
    return upper;
}

bool ContainsAnsi(const char* haystack, const char* needle)
{
    size_t length = strlen(needle);
    for (const char* at = haystack;; at = CharNextA(at)) {
        if (strncmp(at, needle, length) == 0)
            return true;
        if (*at == '\0')
            return false;
    }
}
