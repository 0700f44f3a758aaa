#include "tests/standin/TokenFacts.h"

#include "common/UniqueHandle.h"

#include <sddl.h>
#include <stdio.h>

namespace {

const char kAdministrators[] = "S-1-5-32-544";

// The two-call pattern: ask for the size, then read. Empty on failure, with
// the error in ERROR when asked for.
std::vector<BYTE> QueryToken(HANDLE token, TOKEN_INFORMATION_CLASS kind, DWORD* error = nullptr)
{
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    std::vector<BYTE> data(size ? size : 1);
    if (!GetTokenInformation(token, kind, data.data(), size, &size)) {
        if (error)
            *error = GetLastError();
        data.clear();
    }
    return data;
}

SidFact DescribeSid(const SID_AND_ATTRIBUTES& entry)
{
    SidFact fact;
    fact.attributes = entry.Attributes;
    char* text = nullptr;
    if (ConvertSidToStringSidA(entry.Sid, &text)) {
        unique_hlocal owner(text);
        fact.sid = text;
    }
    return fact;
}

std::vector<SidFact> DescribeGroups(const std::vector<BYTE>& data)
{
    std::vector<SidFact> facts;
    if (data.empty())
        return facts;
    const TOKEN_GROUPS* groups = (const TOKEN_GROUPS*)data.data();
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        facts.push_back(DescribeSid(groups->Groups[i]));
    return facts;
}

std::vector<PrivilegeFact> DescribePrivileges(const std::vector<BYTE>& data)
{
    std::vector<PrivilegeFact> facts;
    if (data.empty())
        return facts;
    const TOKEN_PRIVILEGES* privileges = (const TOKEN_PRIVILEGES*)data.data();
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        LUID luid = privileges->Privileges[i].Luid;
        char name[128] = {};
        DWORD length = sizeof(name);
        if (!LookupPrivilegeNameA(nullptr, &luid, name, &length))
            snprintf(name, sizeof(name), "LUID-%lu-%lu", luid.HighPart, luid.LowPart);
        facts.push_back({name, privileges->Privileges[i].Attributes});
    }
    return facts;
}

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", value);
    return text;
}

}  // namespace

TokenFacts ReadOwnTokenFacts()
{
    TokenFacts facts;
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return facts;
    std::vector<BYTE> user = QueryToken(token.get(), TokenUser);
    if (user.empty())
        return facts;
    facts.user = DescribeSid(((const TOKEN_USER*)user.data())->User);
    facts.groups = DescribeGroups(QueryToken(token.get(), TokenGroups));
    facts.privileges = DescribePrivileges(QueryToken(token.get(), TokenPrivileges));
    // A token without restricting SIDs answers with an empty list; a system
    // that cannot answer must not look like one without them.
    facts.restrictingSids =
        DescribeGroups(QueryToken(token.get(), TokenRestrictedSids, &facts.restrictingError));
    facts.read = true;
    return facts;
}

std::string FormatReport(const TokenFacts& facts, const std::vector<std::string>& arguments)
{
    std::string text = "standin-report 1\n";
    text += "pid " + std::to_string(GetCurrentProcessId()) + "\n";
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version))
        text += "version " + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion)
              + "." + std::to_string(version.dwBuildNumber) + " " + std::to_string(version.dwPlatformId) + "\n";
    text += std::string("commandline ") + GetCommandLineA() + "\n";
    for (const std::string& argument : arguments)
        text += "argument " + argument + "\n";
    if (facts.read)
        text += "user " + facts.user.sid + " " + Hex(facts.user.attributes) + "\n";
    for (const SidFact& group : facts.groups)
        text += "group " + group.sid + " " + Hex(group.attributes) + "\n";
    for (const PrivilegeFact& privilege : facts.privileges)
        text += "privilege " + privilege.name + " " + Hex(privilege.attributes) + "\n";
    for (const SidFact& sid : facts.restrictingSids)
        text += "restricting " + sid.sid + " " + Hex(sid.attributes) + "\n";
    if (facts.restrictingError)
        text += "restricting-unreadable " + std::to_string(facts.restrictingError) + "\n";
    return text + "end\n";
}

bool WriteReportFile(const std::string& path, const std::string& text)
{
    std::string partial = path + ".partial";
    {
        unique_file file(CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), (DWORD)text.size(), &written, nullptr)
            || written != text.size())
            return false;
    }
    return MoveFileExA(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool AdministratorsDenyOnly(const TokenFacts& facts)
{
    for (const SidFact& group : facts.groups)
        if (group.sid == kAdministrators)
            return (group.attributes & SE_GROUP_USE_FOR_DENY_ONLY) != 0;
    return false;
}

std::string DescribeProtection(const TokenFacts& facts)
{
    if (!facts.read)
        return "The access token could not be read.";
    std::string text = "Administrators group: not a member";
    for (const SidFact& group : facts.groups) {
        if (group.sid != kAdministrators)
            continue;
        if (group.attributes & SE_GROUP_USE_FOR_DENY_ONLY)
            text = "Administrators group: DENY-ONLY (administrator rights are gone)";
        else
            text = "Administrators group: ENABLED (full administrator rights)";
    }
    text += "\r\nPrivileges (" + std::to_string(facts.privileges.size()) + "):";
    for (const PrivilegeFact& privilege : facts.privileges)
        text += " " + privilege.name;
    text += "\r\nRestricting SIDs: ";
    if (facts.restrictingError)
        text += "cannot be read (error " + std::to_string(facts.restrictingError) + ")";
    else if (facts.restrictingSids.empty())
        text += "none";
    for (const SidFact& sid : facts.restrictingSids)
        text += sid.sid + " ";
    return text + "\r\nUser: " + facts.user.sid;
}
