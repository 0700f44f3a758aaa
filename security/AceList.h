// A discretionary ACL as an ordered list of entries, with its binary form
// built on demand and kept until the list changes.
#pragma once

#include "security/AceEntry.h"

#include <windows.h>
#include <memory>
#include <vector>

class CAceList {
public:
    CAceList() = default;
    CAceList(const CAceList&) = delete;
    CAceList& operator=(const CAceList&) = delete;
    virtual ~CAceList() = default;

    virtual size_t GetCount() const noexcept { return entries_.size(); }
    // Leaves the null flag as it is.
    virtual void RemoveAll() noexcept;
    // An index at or past the end throws E_INVALIDARG.
    virtual CAceEntry& GetAt(size_t index) const;
    virtual void RemoveAt(size_t index);
    // Explicit denied, explicit allowed, inherited denied, inherited allowed;
    // plain entries before object entries within each group.
    virtual void Sort();

    // False, adding nothing, for a SID that is not valid. A null list
    // becomes an empty one first.
    bool AddAllowed(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags = 0);
    bool AddDenied(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags = 0);

    // The list's ACL, owned by the list; null for a null list.
    const ACL* BuildAcl();
    // Appends the access entries of ACL; audit and other entries are skipped.
    void CopyFromAcl(const ACL* acl);

    // A null list stands for a null DACL, which grants everyone everything.
    bool IsNull() const noexcept { return null_; }
    void SetNull() noexcept;

private:
    bool Add(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags, bool allowed);
    void Append(std::unique_ptr<CAceEntry> entry);
    void AppendFromAce(const ACE_HEADER* header);

    std::vector<BYTE> acl_;
    bool null_ = false;
    BYTE revision_ = ACL_REVISION;
    std::vector<std::unique_ptr<CAceEntry>> entries_;
};
