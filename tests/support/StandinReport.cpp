#include "tests/support/StandinReport.h"

#include "common/UniqueHandle.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestRegistryKey.h"

#include <stdlib.h>

namespace {

const char kOptionsParent[] = "Software\\Quillet Test Bench";
const char kOptionsKey[] = "Software\\Quillet Test Bench\\Stand-in";

bool ParseHex(const std::string& text, DWORD& value)
{
    if (text.size() != 10 || text.compare(0, 2, "0x") != 0)
        return false;
    char* end = nullptr;
    value = strtoul(text.c_str() + 2, &end, 16);
    return *end == '\0';
}

// "<name> <0x%08X>" into NAME and ATTRIBUTES.
template <typename Entry>
bool ParseEntry(const std::string& rest, Entry& entry, std::string Entry::*name)
{
    size_t blank = rest.rfind(' ');
    if (blank == std::string::npos || blank == 0)
        return false;
    entry.*name = rest.substr(0, blank);
    return ParseHex(rest.substr(blank + 1), entry.attributes);
}

bool ParseLine(const std::string& word, const std::string& rest, StandinReport& report)
{
    ReportSid sid;
    ReportPrivilege privilege;
    if (word == "pid") {
        report.pid = strtoul(rest.c_str(), nullptr, 10);
        return report.pid != 0;
    }
    if (word == "restricting-unreadable") {
        report.restrictingUnreadable = strtoul(rest.c_str(), nullptr, 10);
        return report.restrictingUnreadable != 0;
    }
    if (word == "commandline")
        report.commandLine = rest;
    else if (word == "version")
        report.version = rest;
    else if (word == "argument")
        report.arguments.push_back(rest);
    else if (word == "user")
        return ParseEntry(rest, report.user, &ReportSid::sid);
    else if (word == "group" && ParseEntry(rest, sid, &ReportSid::sid))
        report.groups.push_back(sid);
    else if (word == "restricting" && ParseEntry(rest, sid, &ReportSid::sid))
        report.restrictingSids.push_back(sid);
    else if (word == "privilege" && ParseEntry(rest, privilege, &ReportPrivilege::name))
        report.privileges.push_back(privilege);
    else
        return false;
    return true;
}

}  // namespace

const ReportSid* StandinReport::FindGroup(const std::string& sid) const
{
    for (const ReportSid& group : groups)
        if (group.sid == sid)
            return &group;
    return nullptr;
}

const ReportPrivilege* StandinReport::FindPrivilege(const std::string& name) const
{
    for (const ReportPrivilege& privilege : privileges)
        if (privilege.name == name)
            return &privilege;
    return nullptr;
}

bool StandinReport::AdministratorsDenyOnly() const
{
    const ReportSid* administrators = FindGroup("S-1-5-32-544");
    return administrators && (administrators->attributes & SE_GROUP_USE_FOR_DENY_ONLY);
}

bool ParseStandinReport(const std::string& text, StandinReport& report)
{
    report = StandinReport();
    size_t start = 0;
    bool header = false;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return false;  // the last line must be complete
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!header) {
            if (line != "standin-report 1")
                return false;
            header = true;
            continue;
        }
        if (line == "end")
            return start == text.size() && report.pid != 0 && !report.user.sid.empty();
        size_t blank = line.find(' ');
        if (blank == std::string::npos || !ParseLine(line.substr(0, blank), line.substr(blank + 1), report))
            return false;
    }
    return false;
}

bool ReadStandinReport(const std::string& path, StandinReport& report)
{
    std::string text;
    return ReadFileText(path, text) && ParseStandinReport(text, report);
}

bool WaitForStandinReport(const std::string& path, DWORD timeoutMs, StandinReport& report)
{
    return WaitUntil(timeoutMs, [&] { return ReadStandinReport(path, report); });
}

std::string StandinCommand(const std::string& reportPath, const std::string& options,
                           const std::string& arguments)
{
    std::string command = Quoted(StandinBrowserPath());
    if (!reportPath.empty())
        command += " \"--report=" + reportPath + "\"";
    if (!options.empty())
        command += " " + options;
    if (!arguments.empty())
        command += " " + arguments;
    return command;
}

StandinRegistryOptions::StandinRegistryOptions(const std::string& options)
{
    WriteRegistryText(HKEY_CURRENT_USER, kOptionsKey, "Options", options);
}

StandinRegistryOptions::~StandinRegistryOptions()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kOptionsKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key.put())
        != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key.get(), "Options");
    DWORD subkeys = 0, values = 0;
    bool empty = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                  nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS
              && subkeys == 0 && values == 0;
    key.reset();
    // Nothing else of the bench's is kept there: an empty key goes, and its
    // parent with it when that is empty too (RegDeleteKey keeps a key that
    // still has subkeys).
    if (empty && RegDeleteKeyA(HKEY_CURRENT_USER, kOptionsKey) == ERROR_SUCCESS)
        RegDeleteKeyA(HKEY_CURRENT_USER, kOptionsParent);
}
