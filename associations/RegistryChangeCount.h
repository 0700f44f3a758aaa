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

// The registry writes its hives to disk in its own time, each hive file on
// its own: the save area and the classes live in two of them. An order of
// changes that must hold through a power cut is made with a flush between
// them. Every flush goes through here, so that the test bench sees the order
// of flushes and changes, and the benchmark the time flushing costs.
LONG FlushRegistryKey(HKEY key);
void SetRegistryFlushObserver(RegistryChangeObserver observer);

// Time spent in FlushRegistryKey since the process started, in
// performance-counter ticks.
LONGLONG RegistryFlushTicks();
