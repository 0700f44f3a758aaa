// Pellow.dll as the installer binds it: loaded by name, every export found
// with GetProcAddress. Loaded once per test program and kept, as the
// installer keeps it (the caption query state lives as long as the module).
#pragma once

#include "setuphelper/PellowExports.h"

struct PellowLibrary {
    HMODULE module = nullptr;
    decltype(&GetFirstCaption) getFirstCaption = nullptr;
    decltype(&GetNextCaption) getNextCaption = nullptr;
    decltype(&IsCloseModule) isCloseModule = nullptr;
    decltype(&GetFileDescription) getFileDescription = nullptr;
    decltype(&CreateIconM) createIconM = nullptr;
};

// The bound library; a test asserts on its members before calling them.
const PellowLibrary& Pellow();
