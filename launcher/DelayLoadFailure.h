// What a call into a delay-loaded DLL does when the DLL or the function is
// missing: it fails the way the function itself reports a failure (a null
// handle, FALSE, -1, an error code), with the loader's error as the last
// error, instead of ending the process. Today's handling of each failed call
// then applies (a dialog without its pictures, a launch that reports its
// step, a key that is not copied).
#pragma once

#include <windows.h>
#include "common/DelayImp.h"
#include "common/DelayedImportStub.h"

// The failure hook of the delay-load helper: for a DLL that cannot be
// loaded it gives the program's own module, which exports nothing, so that
// every function of that DLL then comes here as a missing function; for a
// missing function it gives that function's stub (0, and so the helper's
// exception, only for a function without one).
FARPROC WINAPI OnDelayLoadFailure(unsigned notification, PDelayLoadInfo info);

// The stub for the function NAME of DLL (compared without regard to case),
// or 0 when there is none.
FARPROC FindDelayedImportStub(const char* dll, const char* name);

// Sets the last error a stub reports: the loader's error of the failure.
void FailDelayedCall();
