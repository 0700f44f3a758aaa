// SIDs with an attribute word each (the SIDs a restricted token disables or
// restricts to), and the TOKEN_GROUPS record CreateRestrictedToken takes.
#pragma once

#include "security/SidHolder.h"

#include <windows.h>
#include <unordered_map>
#include <vector>

class CSidAttributeSet {
public:
    CSidAttributeSet() = default;
    CSidAttributeSet(const CSidAttributeSet&) = delete;
    CSidAttributeSet& operator=(const CSidAttributeSet&) = delete;
    virtual ~CSidAttributeSet() = default;

    // A SID already present gets the new ATTRIBUTES; an invalid SID throws
    // E_INVALIDARG.
    void Add(const CSidHolder& sid, DWORD attributes);
    size_t GetCount() const noexcept { return sids_.size(); }
    // Null for an empty set; owned by the set and rebuilt after a change.
    const TOKEN_GROUPS* Record();

private:
    struct SidHash {
        size_t operator()(const CSidHolder& sid) const noexcept;
    };
    struct SidEqual {
        bool operator()(const CSidHolder& a, const CSidHolder& b) const noexcept;
    };

    std::unordered_map<CSidHolder, DWORD, SidHash, SidEqual> sids_;
    std::vector<BYTE> record_;
    bool changed_ = false;
};
