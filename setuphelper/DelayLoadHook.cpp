// Pellow.dll's hooks into the delay-load helper. The setup loads Pellow from
// its temporary folder, and Windows would look for a library that Pellow
// imports and the setup has not loaded yet first in the setup program's own
// folder (usually the user's downloads). Those libraries are delay-loaded
// instead, from the system folder by full path. Should one still be missing,
// its functions fail as they report a failure themselves, and the export
// that called them answers as for a file or process it cannot read.
#include "common/DelayedImportStub.h"
#include "common/SystemLibrary.h"

#include <psapi.h>
#include <shlwapi.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

DWORD s_failure = ERROR_MOD_NOT_FOUND;

DWORD WINAPI NoModuleFileNameEx(HANDLE, HMODULE, LPSTR, DWORD)
{
    SetLastError(s_failure);
    return 0;
}

// The caller asks it only of a path it has just read: without the library,
// the whole path stands for its file name.
LPSTR WINAPI WholePathAsFileName(LPCSTR path)
{
    return const_cast<LPSTR>(path);
}

DWORD WINAPI NoFileVersionInfoSize(LPCSTR, LPDWORD)
{
    SetLastError(s_failure);
    return 0;
}

BOOL WINAPI NoFileVersionInfo(LPCSTR, DWORD, DWORD, LPVOID)
{
    SetLastError(s_failure);
    return FALSE;
}

BOOL WINAPI NoVersionValue(LPCVOID, LPCSTR, LPVOID*, PUINT)
{
    SetLastError(s_failure);
    return FALSE;
}

const DelayedImportStub kFailing[] = {
    DELAY_STUB(GetModuleFileNameExA, NoModuleFileNameEx),
    DELAY_STUB(PathFindFileNameA, WholePathAsFileName),
    DELAY_STUB(GetFileVersionInfoSizeA, NoFileVersionInfoSize),
    DELAY_STUB(GetFileVersionInfoA, NoFileVersionInfo),
    DELAY_STUB(VerQueryValueA, NoVersionValue),
};

// The system-folder hook answers a library it cannot load with Pellow's own
// module, so each function comes here as one that is missing.
FARPROC WINAPI OnPellowDelayLoadFailure(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliFailGetProc || !info || !info->dlp.fImportByName)
        return nullptr;
    bool noLibrary = info->hmodCur == reinterpret_cast<HMODULE>(&__ImageBase);
    s_failure = noLibrary ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND;
    for (const DelayedImportStub& function : kFailing) {
        if (lstrcmpA(function.name, info->dlp.szProcName) == 0)
            return function.failure;
    }
    return nullptr;
}

}  // namespace

// delayimp.h declares them with C linkage.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = OnPellowDelayLoadFailure;
