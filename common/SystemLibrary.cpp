#include "common/SystemLibrary.h"

#include "common/PathFolder.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// PATH holds a folder of FOLDER_LENGTH characters; a backslash and FILE_NAME
// follow it. False when the whole does not fit.
bool AppendFileName(char (&path)[MAX_PATH], size_t folderLength, const char* fileName) noexcept
{
    size_t nameLength = lstrlenA(fileName);
    if (folderLength == 0) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    if (folderLength >= MAX_PATH || nameLength >= MAX_PATH - folderLength - 1) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    path[folderLength] = '\\';
    CopyMemory(path + folderLength + 1, fileName, nameLength + 1);
    return true;
}

}  // namespace

HMODULE LoadSystemLibrary(const char* fileName) noexcept
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (!AppendFileName(path, length, fileName))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadLibraryBeside(HMODULE module, const char* fileName) noexcept
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    // A path that filled the buffer was cut short (and, before Vista, is not
    // terminated).
    if (length == 0 || length >= MAX_PATH) {
        if (length)
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    if (!AppendFileName(path, PathFolderLength(path), fileName))
        return nullptr;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC WINAPI LoadDelayedFromSystemFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || !info)
        return nullptr;
    HMODULE module = LoadSystemLibrary(info->szDll);
    if (!module)
        module = reinterpret_cast<HMODULE>(&__ImageBase);
    return reinterpret_cast<FARPROC>(module);
}
