// The failing stand-ins of every function Quillet.exe delay-loads, by DLL.
#pragma once

#include "launcher/DelayLoadFailure.h"

#include <cstddef>

struct DelayedImportTable {
    const char* dll;
    DelayedImportStub stubs[10];   // unused entries have no name
};

extern const DelayedImportTable kDelayedImports[];
extern const size_t kDelayedImportCount;
