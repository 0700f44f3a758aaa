#include "security/AceList.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"
#include "security/ObjectAceEntry.h"

#include <string.h>

void CAceList::RemoveAll() noexcept
{
    entries_.clear();
    acl_.clear();
}

CAceEntry& CAceList::GetAt(size_t index) const
{
    if (index >= entries_.size())
        throw CAtlException(E_INVALIDARG);
    return *entries_[index];
}

void CAceList::RemoveAt(size_t index)
{
    if (index >= entries_.size())
        throw CAtlException(E_INVALIDARG);
    entries_.erase(entries_.begin() + index);
    acl_.clear();
}

void CAceList::SetNull() noexcept
{
    RemoveAll();
    null_ = true;
}

// True when A belongs after B in the canonical order.
static bool GoesAfter(const CAceEntry& a, const CAceEntry& b)
{
    if (a.IsInherited() != b.IsInherited())
        return a.IsInherited();
    if (a.IsAllowed() != b.IsAllowed())
        return a.IsAllowed();
    return a.IsObjectEntry() && !b.IsObjectEntry();
}

// A Shell sort with the gaps 1, 4, 13, 40, ... A gapped pass is not stable:
// from five entries on, two entries of one group may trade places.
void CAceList::Sort()
{
    size_t count = entries_.size();
    size_t gap = 1;
    if (count >= 5)
        for (gap = 4; 3 * gap + 1 < count; gap = 3 * gap + 1) {}
    for (; gap > 0; gap /= 3) {
        for (size_t i = gap; i < count; ++i) {
            std::unique_ptr<CAceEntry> moving = std::move(entries_[i]);
            size_t j = i;
            for (; j >= gap && GoesAfter(*entries_[j - gap], *moving); j -= gap)
                entries_[j] = std::move(entries_[j - gap]);
            entries_[j] = std::move(moving);
        }
    }
}

bool CAceList::AddAllowed(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags)
{
    return Add(sid, mask, flags, true);
}

bool CAceList::AddDenied(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags)
{
    return Add(sid, mask, flags, false);
}

bool CAceList::Add(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags, bool allowed)
{
    if (!sid.IsValid())
        return false;
    auto entry = WithOutOfMemoryAsAtl([&] {
        return std::make_unique<CAceEntry>(sid, mask, flags, allowed);
    });
    if (null_) {
        RemoveAll();
        null_ = false;
    }
    Append(std::move(entry));
    return true;
}

void CAceList::Append(std::unique_ptr<CAceEntry> entry)
{
    WithOutOfMemoryAsAtl([&] { entries_.push_back(std::move(entry)); });
    acl_.clear();
}

const ACL* CAceList::BuildAcl()
{
    if (null_)
        return nullptr;
    if (!acl_.empty())
        return reinterpret_cast<const ACL*>(acl_.data());
    Sort();
    // Object entries are valid only in an ACL of the directory revision.
    BYTE revision = revision_;
    DWORD length = sizeof(ACL);
    for (const auto& entry : entries_) {
        length += entry->BinarySize();
        if (entry->IsObjectEntry())
            revision = ACL_REVISION_DS;
    }
    std::vector<BYTE> block;
    GrowBuffer(block, length);
    ACL* acl = reinterpret_cast<ACL*>(block.data());
    if (!InitializeAcl(acl, length, revision))
        ThrowLastError();
    for (const auto& entry : entries_)
        if (!AddAce(acl, revision, MAXDWORD, const_cast<void*>(entry->Binary()), entry->BinarySize()))
            ThrowLastError();
    acl_.swap(block);
    return acl;
}

void CAceList::CopyFromAcl(const ACL* acl)
{
    if (!acl)
        throw CAtlException(E_INVALIDARG);
    acl_.clear();
    ACL_SIZE_INFORMATION size = {};
    if (!GetAclInformation(const_cast<ACL*>(acl), &size, sizeof size, AclSizeInformation))
        ThrowLastError();
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &ace))
            ThrowLastError();
        AppendFromAce(static_cast<const ACE_HEADER*>(ace));
    }
}

// The SID of an object entry follows the GUIDs that its flags mark present.
void CAceList::AppendFromAce(const ACE_HEADER* header)
{
    std::unique_ptr<CAceEntry> entry;
    WithOutOfMemoryAsAtl([&] {
        CSidHolder sid;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
            sid.CopyIn(const_cast<DWORD*>(&ace->SidStart));
            entry = std::make_unique<CAceEntry>(sid, ace->Mask, header->AceFlags,
                                                header->AceType == ACCESS_ALLOWED_ACE_TYPE);
        } else if (header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
                   header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE) {
            auto* ace = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header);
            const GUID* next = &ace->ObjectType;
            const GUID* objectType = (ace->Flags & ACE_OBJECT_TYPE_PRESENT) ? next++ : nullptr;
            const GUID* inherited = (ace->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? next++ : nullptr;
            sid.CopyIn(const_cast<GUID*>(next));
            entry = std::make_unique<CObjectAceEntry>(sid, ace->Mask, header->AceFlags,
                                                      header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE,
                                                      objectType, inherited);
        }
    });
    if (entry)
        Append(std::move(entry));
}
