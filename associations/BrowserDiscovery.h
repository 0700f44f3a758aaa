// Finding the browser command to fall back on: the handler saved by the
// takeover, or Internet Explorer's own setup path.
#pragma once

#include <string>

// True when a save key exists under HKEY_CURRENT_USER or, failing that,
// HKEY_LOCAL_MACHINE; COMMAND is then its default value (possibly empty).
bool ReadSavedBrowserCommand(const char* productName, std::string& command);

// True with the full path of iexplore.exe; PATH is left unchanged otherwise.
bool LocateBrowserFromSetup(std::string& path);
