// One SID: an owned copy, what the account lookup made of it, and the
// computer on which lookups run.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

class CSidHolder {
public:
    CSidHolder() = default;
    // Builds AUTHORITY-SUB[0]-SUB[1]-...; no sub-authority throws E_INVALIDARG.
    CSidHolder(const SID_IDENTIFIER_AUTHORITY& authority, const DWORD* subAuthorities, size_t count);
    CSidHolder(const CSidHolder& other);
    CSidHolder& operator=(const CSidHolder& other);
    virtual ~CSidHolder() = default;

    // Takes a copy of SID; an invalid SID throws E_INVALIDARG and leaves the
    // holder as it was.
    void CopyIn(PSID sid);
    // False for a null SID. A copy that throws leaves the holder empty.
    bool LoadAccount(PSID sid, const char* systemName);

    PSID Sid() const noexcept { return sid_.empty() ? nullptr : (PSID)sid_.data(); }
    bool IsValid() const noexcept { return Sid() && IsValidSid(Sid()); }
    SID_NAME_USE Use() const noexcept { return use_; }
    // Looked up on first use; empty when the SID maps to no account.
    const std::string& AccountName();
    const std::string& DomainName();

    void Clear() noexcept;

private:
    void LookupAccount();

    std::vector<BYTE> sid_;
    SID_NAME_USE use_ = SidTypeInvalid;
    std::string accountName_;
    std::string domainName_;
    std::string systemName_;
};

// S-1-5-32-544, BUILTIN\Administrators.
CSidHolder AdministratorsSid();
// S-1-5-18, NT AUTHORITY\SYSTEM.
CSidHolder LocalSystemSid();
