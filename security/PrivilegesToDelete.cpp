#include "security/PrivilegesToDelete.h"

#include "security/TokenInformation.h"

#include <vector>

bool AddPrivilegesToDelete(HANDLE token, CPrivilegeSet& set)
{
    LUID changeNotify = {};
    if (!LookupPrivilegeValueA(nullptr, SE_CHANGE_NOTIFY_NAME, &changeNotify))
        return false;
    std::vector<BYTE> buffer;
    if (!ReadTokenInformation(token, TokenPrivileges, buffer))
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
