// Every registry change the association code makes passes through here.
//
// A takeover or restore must survive being ended between any two of its
// changes (a power cut, a killed process). The test bench proves that by
// setting the REG_DWORD "Stop After" under HKEY_CURRENT_USER
// "Software\Quillet Test Bench\Registry Changes": the process then ends,
// with kStoppedExitCode, right after that many changes. Without that value
// nothing happens but the count.
#pragma once

#include <windows.h>

constexpr UINT kStoppedExitCode = 77;

// Call with the status of a change just made; returns it unchanged. Only
// successful changes count.
LONG CountRegistryChange(LONG status);
