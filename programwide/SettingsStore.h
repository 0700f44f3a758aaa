// The user's settings: REG_DWORD values under HKEY_CURRENT_USER
// "SOFTWARE\Orvane\<productCaption>\Main", read when needed, never cached.
#pragma once

#include <windows.h>

// Overwrites VALUE (which the caller set to the default) only when the
// setting exists; up to four raw bytes of whatever type the value has.
void ReadSetting(const char* name, DWORD& value);

// Creates the key on first use; failures are silent.
void WriteSetting(const char* name, DWORD value);
