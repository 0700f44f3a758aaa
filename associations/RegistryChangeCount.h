// Every registry change the association code makes passes through here.
//
// A takeover or restore must survive being ended between any two of its
// changes (a power cut, a killed process). The test bench proves that with
// an observer that is told of each change: it takes the registry as it is
// after every one and runs the next command from each. The program itself
// never sets one.
#pragma once

#include <windows.h>

using RegistryChangeObserver = void (*)();

void SetRegistryChangeObserver(RegistryChangeObserver observer);

// Call with the status of a change just made; returns it unchanged. Only
// successful changes are reported.
LONG CountRegistryChange(LONG status);
