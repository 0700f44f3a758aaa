#include "security/AceEntry.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"

#include <stddef.h>
#include <string.h>

CAceEntry::CAceEntry(const CSidHolder& sid, ACCESS_MASK mask, BYTE flags, bool allowed)
    : sid_(sid), mask_(mask), flags_(flags), allowed_(allowed)
{
    if (!sid_.IsValid())
        throw CAtlException(E_INVALIDARG);
}

BYTE CAceEntry::Type() const
{
    return allowed_ ? ACCESS_ALLOWED_ACE_TYPE : ACCESS_DENIED_ACE_TYPE;
}

// ACE_HEADER, the mask, then the SID in place of SidStart.
DWORD CAceEntry::BinarySize() const
{
    return offsetof(ACCESS_ALLOWED_ACE, SidStart) + SidLength();
}

const void* CAceEntry::Binary()
{
    if (!binary_.empty())
        return binary_.data();
    std::vector<BYTE> ace;
    GrowBuffer(ace, BinarySize());
    auto* header = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace.data());
    header->Header.AceType = Type();
    header->Header.AceFlags = flags_;
    header->Header.AceSize = (WORD)ace.size();
    header->Mask = mask_;
    memcpy(&header->SidStart, sid_.Sid(), SidLength());
    binary_.swap(ace);
    return binary_.data();
}
