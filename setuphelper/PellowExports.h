// The exports of Pellow.dll, the installer's helper. All use the calling
// convention of the system's own exports (the callee removes the arguments)
// and are exported undecorated (Pellow.def). The installer binds them with
// GetProcAddress; the declarations here also give the pointer types.
#pragma once

#include <windows.h>

extern "C" {

// The caption of each main window, or the executable's file name, of the
// programs started by the process of the top-level window of CLASS_NAME.
// *size 0 asks for the first string's length; a non-zero *size fetches the
// string (cut to *size characters, BUFFER holds *size + 1 bytes).
BOOL WINAPI GetFirstCaption(LPCSTR className, char* buffer, DWORD* size);
BOOL WINAPI GetNextCaption(LPCSTR className, char* buffer, DWORD* size);

// Waits up to TIME_LIMIT milliseconds until no process has MODULE_NAME (a
// file name or a full path) loaded; TRUE once none has.
BOOL WINAPI IsCloseModule(LPCSTR moduleName, DWORD timeLimit);

// The FileDescription of FILE_NAME's version resource: *size 0 asks for the
// length, a non-zero *size fetches at most *size characters and a NUL.
int WINAPI GetFileDescription(LPCSTR fileName, char* buffer, LONG* size);

// Writes OUTPUT_PATH: an icon file of two images (large, small) showing the
// first icon of BASE_FILE with icon OVERLAY_INDEX of OVERLAY_FILE over it.
BOOL WINAPI CreateIconM(LPCSTR baseFile, LPCSTR overlayFile, LPCSTR outputPath, int overlayIndex);

}
