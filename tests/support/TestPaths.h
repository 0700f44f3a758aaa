// Where test programs find the built binaries and the stand-in browser.
#pragma once

#include <string>

// Folder of the running test program, ending with a backslash.
std::string TestModuleDirectory();

// <build>\bin\<name>: Quillet.exe, Spirel.dll, Pellow.dll.
std::string BuiltBinary(const char* name);

// The stand-in browser as the session installed it into the prefix.
std::string StandinBrowserPath();

// A path in the prefix's temporary folder, unique to this process and STEM.
std::string TempFilePath(const char* stem);

// True when the test runs under Wine (ntdll exports wine_get_version).
bool RunningOnWine();
