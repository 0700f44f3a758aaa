// Finding the browser command to fall back on: the handler saved by the
// takeover, or Internet Explorer's own setup path.
#pragma once

#include <string>

// True with the saved browser command: the default value of the save key
// under HKEY_CURRENT_USER or, when that holds none, under HKEY_LOCAL_MACHINE.
// An empty saved command counts as none: false, with COMMAND empty.
bool ReadSavedBrowserCommand(const char* productName, std::string& command);

// True with the full path of iexplore.exe; PATH is left unchanged otherwise.
bool LocateBrowserFromSetup(std::string& path);
