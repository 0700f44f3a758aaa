// Privileges with an attribute word each (the privileges a restricted token
// deletes), and the TOKEN_PRIVILEGES record CreateRestrictedToken takes.
#pragma once

#include <windows.h>
#include <stdint.h>
#include <unordered_map>
#include <vector>

class CPrivilegeSet {
public:
    CPrivilegeSet() = default;
    CPrivilegeSet(const CPrivilegeSet&) = delete;
    CPrivilegeSet& operator=(const CPrivilegeSet&) = delete;
    virtual ~CPrivilegeSet() = default;

    // A privilege already present gets the new ATTRIBUTES.
    void Add(const LUID& privilege, DWORD attributes);
    size_t GetCount() const noexcept { return privileges_.size(); }
    // Null for an empty set; owned by the set and rebuilt after a change.
    const TOKEN_PRIVILEGES* Record();

private:
    std::unordered_map<uint64_t, DWORD> privileges_;
    std::vector<BYTE> record_;
    bool changed_ = false;
};
