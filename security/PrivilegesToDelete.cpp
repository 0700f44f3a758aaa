#include "security/PrivilegesToDelete.h"

#include "common/TwoCall.h"

#include <vector>

bool AddPrivilegesToDelete(HANDLE token, CPrivilegeSet& set)
{
    LUID changeNotify = {};
    if (!LookupPrivilegeValueA(nullptr, SE_CHANGE_NOTIFY_NAME, &changeNotify))
        return false;
    std::vector<BYTE> buffer;
    if (!ReadTwoCall(buffer, [&](void* data, DWORD size, DWORD* needed) {
            return GetTokenInformation(token, TokenPrivileges, data, size, needed) != FALSE;
        }))
        return false;
    if (buffer.size() < sizeof(DWORD)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& luid = privileges->Privileges[i].Luid;
        if (luid.LowPart != changeNotify.LowPart || luid.HighPart != changeNotify.HighPart)
            set.Add(luid, 0);
    }
    return true;
}
