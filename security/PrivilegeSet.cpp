#include "security/PrivilegeSet.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"

#include <stddef.h>

static uint64_t KeyOf(const LUID& luid)
{
    return ((uint64_t)(DWORD)luid.HighPart << 32) | luid.LowPart;
}

static LUID LuidOf(uint64_t key)
{
    LUID luid;
    luid.LowPart = (DWORD)key;
    luid.HighPart = (LONG)(key >> 32);
    return luid;
}

void CPrivilegeSet::Add(const LUID& privilege, DWORD attributes)
{
    WithOutOfMemoryAsAtl([&] { privileges_[KeyOf(privilege)] = attributes; });
    changed_ = true;
}

const TOKEN_PRIVILEGES* CPrivilegeSet::Record()
{
    if (privileges_.empty())
        return nullptr;
    if (changed_ || record_.empty()) {
        std::vector<BYTE> record;
        GrowBuffer(record, offsetof(TOKEN_PRIVILEGES, Privileges) +
                               privileges_.size() * sizeof(LUID_AND_ATTRIBUTES));
        auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(record.data());
        privileges->PrivilegeCount = 0;
        for (const auto& [key, attributes] : privileges_)
            privileges->Privileges[privileges->PrivilegeCount++] = {LuidOf(key), attributes};
        record_.swap(record);
        changed_ = false;
    }
    return reinterpret_cast<const TOKEN_PRIVILEGES*>(record_.data());
}
