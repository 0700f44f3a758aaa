// Libraries loaded by their full path, never by a bare name.
//
// Windows looks for a library named by its bare name first in the program's
// own folder and, where the safe search order is off (the default of
// Windows 2000), in the current folder before the system folder; only the
// known DLLs are exempt. The shell starts Quillet with the opened page's
// folder as the current folder, and the setup runs from wherever it was
// downloaded: a library planted there under a system library's name would
// run with the user's full token.
#pragma once

#include <windows.h>
#include "common/DelayImp.h"

// FILE_NAME from the system folder. Its own imports are looked for in the
// system folder first too (LOAD_WITH_ALTERED_SEARCH_PATH puts the loaded
// file's folder in the program folder's place). 0, with the last error, on
// failure.
HMODULE LoadSystemLibrary(const char* fileName) noexcept;

// FILE_NAME from the folder that MODULE (0: the program) was loaded from.
HMODULE LoadLibraryBeside(HMODULE module, const char* fileName) noexcept;

// The delay-load helper's notify hook for a module whose delay-loaded
// libraries are all system libraries: it loads each from the system folder.
// When that fails it answers with the calling module itself, which exports
// none of the functions, so that each call reaches the failure hook as a
// missing function: a null answer would have the helper load the bare name.
FARPROC WINAPI LoadDelayedFromSystemFolder(unsigned notification, PDelayLoadInfo info);
