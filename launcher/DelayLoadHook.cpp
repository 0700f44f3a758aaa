// Quillet.exe's hooks into the delay-load helper: every library it loads at
// a first call comes from the system folder by its full path, and a library
// or function that cannot be found fails the call instead of the process.
// They are linked into the program itself, not into a library: the helper
// would otherwise take the C runtime's empty hooks, load the bare names and
// end the process with an exception for a missing one.
#include "common/SystemLibrary.h"
#include "launcher/DelayLoadFailure.h"

// delayimp.h declares them with C linkage.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
