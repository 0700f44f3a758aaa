// The stand-in browser from a test's side: its command line, the report it
// writes (format in tests/standin/README.md) and its registry options.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ReportSid {
    std::string sid;
    DWORD attributes = 0;
};

struct ReportPrivilege {
    std::string name;
    DWORD attributes = 0;
};

struct StandinReport {
    DWORD pid = 0;
    std::string version;  // "5.1.2600 2": major.minor.build, platform id
    std::string commandLine;
    std::vector<std::string> arguments;
    ReportSid user;
    std::vector<ReportSid> groups;
    std::vector<ReportPrivilege> privileges;
    std::vector<ReportSid> restrictingSids;
    DWORD restrictingUnreadable = 0;  // the system's error when it would not tell them

    // The group entry of SID, or null.
    const ReportSid* FindGroup(const std::string& sid) const;
    // The privilege entry of NAME, or null.
    const ReportPrivilege* FindPrivilege(const std::string& name) const;
    // BUILTIN\Administrators present with SE_GROUP_USE_FOR_DENY_ONLY.
    bool AdministratorsDenyOnly() const;
};

// Parses a whole report; false when TEXT is not one (wrong header, no "end"
// line, a line it does not know, an attribute word that is not 0x%08X).
bool ParseStandinReport(const std::string& text, StandinReport& report);

// Reads and parses the report at PATH.
bool ReadStandinReport(const std::string& path, StandinReport& report);

// Waits up to TIMEOUTMS for a complete report at PATH.
bool WaitForStandinReport(const std::string& path, DWORD timeoutMs, StandinReport& report);

// The stand-in's command line: its quoted path, "--report=PATH" when PATH is
// given, then OPTIONS and browser ARGUMENTS as written.
std::string StandinCommand(const std::string& reportPath, const std::string& options = "",
                           const std::string& arguments = "");

// Gives the stand-in options for starts whose command line the test does not
// write (registry value "Options", see the README); removed when it goes.
class StandinRegistryOptions {
public:
    explicit StandinRegistryOptions(const std::string& options);
    ~StandinRegistryOptions();
    StandinRegistryOptions(const StandinRegistryOptions&) = delete;
    StandinRegistryOptions& operator=(const StandinRegistryOptions&) = delete;
};
