#include "tests/security/SecurityTestSupport.h"

#include "common/TwoCall.h"

#include <aclapi.h>
#include <sddl.h>

std::string SidText(PSID sid)
{
    char* text = nullptr;
    if (!sid || !IsValidSid(sid) || !ConvertSidToStringSidA(sid, &text))
        return std::string();
    std::string result = text;
    LocalFree(text);
    return result;
}

std::vector<AceFacts> ReadAces(const ACL* acl)
{
    std::vector<AceFacts> aces;
    ACL_SIZE_INFORMATION size = {};
    if (!acl || !GetAclInformation(const_cast<ACL*>(acl), &size, sizeof size, AclSizeInformation))
        return aces;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &ace))
            break;
        auto* plain = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        AceFacts facts;
        facts.type = plain->Header.AceType;
        facts.flags = plain->Header.AceFlags;
        facts.size = plain->Header.AceSize;
        facts.mask = plain->Mask;
        if (facts.type <= ACCESS_DENIED_ACE_TYPE || facts.type == SYSTEM_AUDIT_ACE_TYPE)
            facts.sid = SidText(&plain->SidStart);
        aces.push_back(facts);
    }
    return aces;
}

std::vector<BYTE> ObjectDaclBytes(HANDLE object, int objectType)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(object, (SE_OBJECT_TYPE)objectType, DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> bytes;
    if (dacl) {
        ACL_SIZE_INFORMATION size = {};
        GetAclInformation(dacl, &size, sizeof size, AclSizeInformation);
        bytes.assign((BYTE*)dacl, (BYTE*)dacl + size.AclBytesInUse);
    }
    LocalFree(descriptor);
    return bytes;
}

std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass)
{
    std::vector<BYTE> bytes;
    if (!ReadTwoCall(bytes, [&](void* data, DWORD size, DWORD* needed) {
            return GetTokenInformation(token, informationClass, data, size, needed) != FALSE;
        }))
        bytes.clear();
    return bytes;
}

bool TokenGroupAttributes(HANDLE token, const char* sid, DWORD* attributes)
{
    std::vector<BYTE> bytes = TokenInformation(token, TokenGroups);
    if (bytes.empty())
        return false;
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(bytes.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (SidText(groups->Groups[i].Sid) == sid) {
            *attributes = groups->Groups[i].Attributes;
            return true;
        }
    return false;
}

std::vector<std::string> TokenPrivilegeNames(HANDLE token)
{
    std::vector<std::string> names;
    std::vector<BYTE> bytes = TokenInformation(token, TokenPrivileges);
    if (bytes.empty())
        return names;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(bytes.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        char name[64] = {};
        DWORD size = sizeof name;
        LUID luid = privileges->Privileges[i].Luid;
        if (LookupPrivilegeNameA(nullptr, &luid, name, &size))
            names.push_back(name);
    }
    return names;
}
