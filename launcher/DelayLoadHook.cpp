// Quillet.exe's answer to a delay-loaded DLL or function that cannot be
// found. It is linked into the program itself, not into a library: the
// helper that loads the DLLs would otherwise take the C runtime's empty
// hook, and a missing DLL would end the process with an exception.
#include "launcher/DelayLoadFailure.h"

// delayimp.h declares it with C linkage.
PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
