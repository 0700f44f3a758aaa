#include "security/SidHolder.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"

#include <string.h>

CSidHolder::CSidHolder(const SID_IDENTIFIER_AUTHORITY& authority, const DWORD* subAuthorities,
                       size_t count)
{
    if (count == 0 || count > 0xFF)
        throw CAtlException(E_INVALIDARG);
    StackOrHeapBuffer<1024> buffer;
    GrowBuffer(buffer, GetSidLengthRequired((UCHAR)count));
    PSID sid = buffer.data();
    if (!InitializeSid(sid, const_cast<SID_IDENTIFIER_AUTHORITY*>(&authority), (BYTE)count))
        ThrowLastError();
    for (size_t i = 0; i < count; ++i)
        *GetSidSubAuthority(sid, (DWORD)i) = subAuthorities[i];
    CopyIn(sid);
}

// A copy looks its account up on the local computer.
CSidHolder::CSidHolder(const CSidHolder& other)
{
    *this = other;
}

CSidHolder& CSidHolder::operator=(const CSidHolder& other)
{
    if (this != &other) {
        WithOutOfMemoryAsAtl([&] {
            sid_ = other.sid_;
            accountName_ = other.accountName_;
            domainName_ = other.domainName_;
        });
        use_ = other.use_;
        systemName_.clear();
    }
    return *this;
}

void CSidHolder::CopyIn(PSID sid)
{
    if (!sid || !IsValidSid(sid))
        throw CAtlException(E_INVALIDARG);
    std::vector<BYTE> copy;
    DWORD length = GetLengthSid(sid);
    GrowBuffer(copy, length);
    if (!CopySid(length, copy.data(), sid))
        ThrowLastError();
    sid_.swap(copy);
    use_ = SidTypeUnknown;
    accountName_.clear();
    domainName_.clear();
}

bool CSidHolder::LoadAccount(PSID sid, const char* systemName)
{
    if (!sid)
        return false;
    try {
        CopyIn(sid);
        WithOutOfMemoryAsAtl([&] { systemName_ = systemName ? systemName : ""; });
    } catch (...) {
        Clear();
        throw;
    }
    return true;
}

const std::string& CSidHolder::AccountName()
{
    if (accountName_.empty())
        LookupAccount();
    return accountName_;
}

const std::string& CSidHolder::DomainName()
{
    if (accountName_.empty())
        LookupAccount();
    return domainName_;
}

void CSidHolder::LookupAccount()
{
    if (!Sid())
        return;
    const char* system = systemName_.empty() ? nullptr : systemName_.c_str();
    std::string name, domain;
    GrowBuffer(name, 32);
    GrowBuffer(domain, 32);
    SID_NAME_USE use = SidTypeUnknown;
    bool found = ReadTwoCall(name, domain, [&](char* nameData, DWORD* nameSize, char* domainData, DWORD* domainSize) {
        return LookupAccountSidA(system, Sid(), nameData, nameSize, domainData, domainSize, &use) != FALSE;
    });
    if (!found) {
        if (GetLastError() == ERROR_NONE_MAPPED)
            use_ = SidTypeUnknown;
        return;
    }
    name.resize(strlen(name.c_str()));
    domain.resize(strlen(domain.c_str()));
    accountName_.swap(name);
    domainName_.swap(domain);
    use_ = use;
}

void CSidHolder::Clear() noexcept
{
    sid_.clear();
    use_ = SidTypeInvalid;
    accountName_.clear();
    domainName_.clear();
    systemName_.clear();
}

static const SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};

CSidHolder AdministratorsSid()
{
    static const DWORD subAuthorities[] = {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS};
    return CSidHolder(ntAuthority, subAuthorities, 2);
}

CSidHolder LocalSystemSid()
{
    static const DWORD subAuthorities[] = {SECURITY_LOCAL_SYSTEM_RID};
    return CSidHolder(ntAuthority, subAuthorities, 1);
}
