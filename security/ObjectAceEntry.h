// An entry of a DACL that applies to one kind of object or property, named
// by GUIDs (ACCESS_ALLOWED_OBJECT_ACE, ACCESS_DENIED_OBJECT_ACE).
#pragma once

#include "security/AceEntry.h"

class CObjectAceEntry : public CAceEntry {
public:
    // A null GUID pointer means the GUID is absent.
    CObjectAceEntry(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags, bool allowed,
                    const GUID* objectType, const GUID* inheritedObjectType);

    const void* Binary() override;
    DWORD BinarySize() const override;
    BYTE Type() const override;
    bool IsObjectEntry() const override { return true; }
    GUID ObjectType() const override { return objectType_; }
    GUID InheritedObjectType() const override { return inheritedObjectType_; }

private:
    DWORD ObjectFlags() const noexcept;

    GUID objectType_ = {};
    GUID inheritedObjectType_ = {};
    bool hasObjectType_;
    bool hasInheritedObjectType_;
};
