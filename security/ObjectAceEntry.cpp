#include "security/ObjectAceEntry.h"

#include "common/TwoCall.h"

#include <stddef.h>
#include <string.h>

CObjectAceEntry::CObjectAceEntry(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags, bool allowed,
                                 const GUID* objectType, const GUID* inheritedObjectType)
    : CAceEntry(sid, mask, flags, allowed), hasObjectType_(objectType != nullptr),
      hasInheritedObjectType_(inheritedObjectType != nullptr)
{
    if (objectType)
        objectType_ = *objectType;
    if (inheritedObjectType)
        inheritedObjectType_ = *inheritedObjectType;
}

BYTE CObjectAceEntry::Type() const
{
    return IsAllowed() ? ACCESS_ALLOWED_OBJECT_ACE_TYPE : ACCESS_DENIED_OBJECT_ACE_TYPE;
}

DWORD CObjectAceEntry::ObjectFlags() const noexcept
{
    return (hasObjectType_ ? ACE_OBJECT_TYPE_PRESENT : 0) |
           (hasInheritedObjectType_ ? ACE_INHERITED_OBJECT_TYPE_PRESENT : 0);
}

// Header, mask and flags word take 12 bytes; each GUID that is present
// adds 16, and the SID follows the last of them.
DWORD CObjectAceEntry::BinarySize() const
{
    DWORD guids = (hasObjectType_ ? 1 : 0) + (hasInheritedObjectType_ ? 1 : 0);
    return offsetof(ACCESS_ALLOWED_OBJECT_ACE, ObjectType) + guids * sizeof(GUID) + SidLength();
}

const void* CObjectAceEntry::Binary()
{
    std::vector<BYTE>& binary = Cache();
    if (!binary.empty())
        return binary.data();
    std::vector<BYTE> ace;
    GrowBuffer(ace, BinarySize());
    auto* header = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(ace.data());
    header->Header.AceType = Type();
    header->Header.AceFlags = Flags();
    header->Header.AceSize = (WORD)ace.size();
    header->Mask = Mask();
    header->Flags = ObjectFlags();
    BYTE* next = reinterpret_cast<BYTE*>(&header->ObjectType);
    if (hasObjectType_)
        next = (BYTE*)memcpy(next, &objectType_, sizeof(GUID)) + sizeof(GUID);
    if (hasInheritedObjectType_)
        next = (BYTE*)memcpy(next, &inheritedObjectType_, sizeof(GUID)) + sizeof(GUID);
    memcpy(next, Sid().Sid(), SidLength());
    binary.swap(ace);
    return binary.data();
}
