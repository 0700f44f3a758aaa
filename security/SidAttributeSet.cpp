#include "security/SidAttributeSet.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"

#include <stddef.h>

// The last sub-authority: the RID, which tells most SIDs apart.
size_t CSidAttributeSet::SidHash::operator()(const CSidHolder& sid) const noexcept
{
    PSID raw = sid.Sid();
    if (!raw || !IsValidSid(raw) || *GetSidSubAuthorityCount(raw) == 0)
        return 0;
    return *GetSidSubAuthority(raw, *GetSidSubAuthorityCount(raw) - 1);
}

bool CSidAttributeSet::SidEqual::operator()(const CSidHolder& a, const CSidHolder& b) const noexcept
{
    return SidHash()(a) == SidHash()(b) && a.IsValid() && b.IsValid() &&
           EqualSid(a.Sid(), b.Sid());
}

void CSidAttributeSet::Add(const CSidHolder& sid, DWORD attributes)
{
    if (!sid.IsValid())
        throw CAtlException(E_INVALIDARG);
    WithOutOfMemoryAsAtl([&] { sids_[sid] = attributes; });
    changed_ = true;
}

const TOKEN_GROUPS* CSidAttributeSet::Record()
{
    if (sids_.empty())
        return nullptr;
    if (changed_ || record_.empty()) {
        std::vector<BYTE> record;
        GrowBuffer(record, offsetof(TOKEN_GROUPS, Groups) + sids_.size() * sizeof(SID_AND_ATTRIBUTES));
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(record.data());
        groups->GroupCount = 0;
        for (const auto& [sid, attributes] : sids_)
            groups->Groups[groups->GroupCount++] = {sid.Sid(), attributes};
        record_.swap(record);
        changed_ = false;
    }
    return reinterpret_cast<const TOKEN_GROUPS*>(record_.data());
}
