// Reading security facts back from the system for the security tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The string form of SID ("S-1-5-32-544"); empty for an invalid one.
std::string SidText(PSID sid);

// One entry of an ACL as GetAce hands it out.
struct AceFacts {
    BYTE type = 0;
    BYTE flags = 0;
    WORD size = 0;
    ACCESS_MASK mask = 0;
    std::string sid;
};

// Every entry of ACL, in order.
std::vector<AceFacts> ReadAces(const ACL* acl);

// The DACL of the kernel object or registry key, as raw self-relative bytes
// of a descriptor holding only the DACL; empty on failure.
std::vector<BYTE> ObjectDaclBytes(HANDLE object, int objectType);

// The token information CLASS of TOKEN; empty on failure.
std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass);

// The attribute word of group SID in TOKEN; false when the token lacks it.
bool TokenGroupAttributes(HANDLE token, const char* sid, DWORD* attributes);

// The names of TOKEN's privileges, in the token's order.
std::vector<std::string> TokenPrivilegeNames(HANDLE token);
