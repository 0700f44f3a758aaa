// One access-allowed or access-denied entry of a DACL, and its binary form.
#pragma once

#include "security/SidHolder.h"

#include <windows.h>
#include <vector>

class CAceEntry {
public:
    // A SID that is not valid throws E_INVALIDARG.
    CAceEntry(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags, bool allowed);
    CAceEntry(const CAceEntry&) = delete;
    CAceEntry& operator=(const CAceEntry&) = delete;
    virtual ~CAceEntry() = default;

    // Built on first use and kept; owned by the entry.
    virtual const void* Binary();
    virtual DWORD BinarySize() const;
    virtual BYTE Type() const;
    virtual bool IsObjectEntry() const { return false; }
    virtual GUID ObjectType() const { return GUID{}; }
    virtual GUID InheritedObjectType() const { return GUID{}; }

    const CSidHolder& Sid() const noexcept { return sid_; }
    ACCESS_MASK Mask() const noexcept { return mask_; }
    BYTE Flags() const noexcept { return flags_; }
    bool IsAllowed() const noexcept { return allowed_; }
    bool IsInherited() const noexcept { return (flags_ & INHERITED_ACE) != 0; }

protected:
    DWORD SidLength() const { return GetLengthSid(sid_.Sid()); }
    std::vector<BYTE>& Cache() noexcept { return binary_; }

private:
    CSidHolder sid_;
    ACCESS_MASK mask_;
    BYTE flags_;
    bool allowed_;
    std::vector<BYTE> binary_;
};
