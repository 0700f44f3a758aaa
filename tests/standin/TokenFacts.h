// What the stand-in browser's own access token holds, and the report file
// other tests read (tests/support/StandinReport.h parses it).
//
// Report format, one fact a line, words separated by one blank:
//   standin-report 1
//   pid <decimal>
//   version <major>.<minor>.<build> <platform id>   (GetVersionExA)
//   commandline <the whole command line as the process got it>
//   argument <one browser argument>            (each, in order)
//   user <SID> <attributes 0x%08X>
//   group <SID> <attributes 0x%08X>            (each)
//   privilege <name> <attributes 0x%08X>       (each)
//   restricting <SID> <attributes 0x%08X>      (each)
//   restricting-unreadable <error>             (instead, when the token
//                                               will not tell them)
//   end
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SidFact {
    std::string sid;  // S-1-5-32-544
    DWORD attributes = 0;
};

struct PrivilegeFact {
    std::string name;  // SeChangeNotifyPrivilege
    DWORD attributes = 0;
};

struct TokenFacts {
    bool read = false;  // false when the token could not be queried
    SidFact user;
    std::vector<SidFact> groups;
    std::vector<PrivilegeFact> privileges;
    std::vector<SidFact> restrictingSids;
    DWORD restrictingError = 0;  // why the restricting SIDs could not be read
};

TokenFacts ReadOwnTokenFacts();

// The report text; ARGUMENTS are the browser arguments the stand-in was given.
std::string FormatReport(const TokenFacts& facts, const std::vector<std::string>& arguments);

// Writes TEXT to PATH as a whole: readers never see half a report.
bool WriteReportFile(const std::string& path, const std::string& text);

// Whether the token holds BUILTIN\Administrators for deny only.
bool AdministratorsDenyOnly(const TokenFacts& facts);

// The lines the main window shows: what the token means for the user.
std::string DescribeProtection(const TokenFacts& facts);
