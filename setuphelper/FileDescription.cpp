// "GetFileDescription": the FileDescription text of a file's version
// resource, in the file's first listed language and code page.
#include "setuphelper/PellowExports.h"

#include "common/TwoCall.h"
#include "setuphelper/GrowOrThrow.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>

namespace {

// Empty when the file has no version resource.
std::vector<char> ReadVersionBlock(LPCSTR fileName)
{
    std::vector<char> block;
    DWORD handle = 0;
    bool read = ReadTwoCall(block, [&](void* data, DWORD size, DWORD* needed) {
        if (!data) {
            *needed = GetFileVersionInfoSizeA(fileName, &handle);
            return *needed != 0;
        }
        *needed = size;
        return GetFileVersionInfoA(fileName, handle, size, data) != FALSE;
    });
    if (!read)
        block.clear();
    return block;
}

// The FileDescription value and its length without the terminator.
bool FindDescription(std::vector<char>& block, const char*& text, size_t& length)
{
    WORD* translation = nullptr;
    UINT translationLength = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void**)&translation,
                        &translationLength) ||
        translationLength < 2 * sizeof(WORD))
        return false;
    char query[64];
    snprintf(query, sizeof(query), "\\StringFileInfo\\%04X%04X\\FileDescription",
             (unsigned)translation[0], (unsigned)translation[1]);
    char* value = nullptr;
    UINT valueLength = 0;
    if (!VerQueryValueA(block.data(), query, (void**)&value, &valueLength) || !value)
        return false;
    // The reported length counts the terminator; never read past the value.
    text = value;
    length = strnlen(value, valueLength);
    return true;
}

int ReadFileDescription(LPCSTR fileName, char* buffer, LONG* size)
{
    std::vector<char> block = ReadVersionBlock(fileName);
    const char* text = nullptr;
    size_t length = 0;
    if (block.empty() || !FindDescription(block, text, length))
        return 0;
    if (*size == 0) {
        *size = (LONG)length;
        return 1;
    }
    // As with the captions, the buffer holds *size characters and the NUL:
    // a longer description is cut rather than written past its end.
    size_t count = std::min<size_t>(length, (size_t)*size);
    memcpy(buffer, text, count);
    buffer[count] = '\0';
    return 1;
}

}  // namespace

extern "C" int WINAPI GetFileDescription(LPCSTR fileName, char* buffer, LONG* size)
{
    if (!fileName || !size || *size < 0 || (*size != 0 && !buffer)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return GuardExport(0, [=] { return ReadFileDescription(fileName, buffer, size); });
}
