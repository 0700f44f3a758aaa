// One function of a delay-loaded library and the stand-in that fails for it
// when the library or the function is missing.
#pragma once

#include <windows.h>

struct DelayedImportStub {
    const char* name;
    FARPROC failure;
};

// F is the function's own pointer type: a stand-in of another signature
// does not compile, so that a caller pops the same arguments from either.
template <typename F>
DelayedImportStub MakeDelayedImportStub(const char* name, F failure)
{
    return {name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(failure))};
}

#define DELAY_STUB(function, failure) MakeDelayedImportStub<decltype(&::function)>(#function, failure)
