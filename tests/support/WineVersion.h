// Runs one program under another Windows version than the prefix's (Wine
// reads HKCU\Software\Wine\AppDefaults\<exe name>\Version at each start).
// On Windows this changes nothing: tests that need it check RunningOnWine().
#pragma once

#include <string>

class WineAppVersion {
public:
    // EXENAME as "Quillet.exe"; VERSION as Wine spells it: "win2k",
    // "winxp", "win2003", "win7".
    WineAppVersion(const std::string& exeName, const std::string& version);
    ~WineAppVersion();  // removes the program's version again
    WineAppVersion(const WineAppVersion&) = delete;
    WineAppVersion& operator=(const WineAppVersion&) = delete;

    bool applied() const { return applied_; }

private:
    std::string key_;
    bool applied_ = false;
};
