#include "security/ObjectOwnerCheck.h"

#include "common/AtlException.h"
#include "common/UniqueHandle.h"
#include "security/AceList.h"
#include "security/SidHolder.h"
#include "security/TokenInformation.h"

#include <aclapi.h>
#include <vector>

namespace {

// Administrators enabled in this process's token: then its own objects are
// owned by the group, and an object owned by the user alone is somebody
// else's (the restricted browser's).
bool RunsAsAdministrator()
{
    CSidHolder administrators = AdministratorsSid();
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, administrators.Sid(), &member) && member;
}

// The SID of this process's user, or an empty buffer.
std::vector<BYTE> OwnUser()
{
    std::vector<BYTE> user;
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !ReadTokenInformation(token.get(), TokenUser, user))
        user.clear();
    return user;
}

PSID UserSidOf(std::vector<BYTE>& user)
{
    return user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

}  // namespace

bool HasTrustedOwner(HANDLE object)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    unique_hlocal descriptorOwner(descriptor);
    if (!owner || !IsValidSid(owner))
        return false;
    if (EqualSid(owner, AdministratorsSid().Sid()) || EqualSid(owner, LocalSystemSid().Sid()))
        return true;
    std::vector<BYTE> user = OwnUser();
    return !RunsAsAdministrator() && UserSidOf(user) && EqualSid(owner, UserSidOf(user));
}

void SetHandOffMutexSecurity(HANDLE mutex)
{
    CAceList dacl;
    dacl.AddAllowed(LocalSystemSid(), MUTEX_ALL_ACCESS, 0);
    dacl.AddAllowed(AdministratorsSid(), MUTEX_ALL_ACCESS, 0);
    std::vector<BYTE> user = OwnUser();
    if (!RunsAsAdministrator() && UserSidOf(user)) {
        CSidHolder holder;
        holder.LoadAccount(UserSidOf(user), nullptr);
        dacl.AddAllowed(holder, MUTEX_ALL_ACCESS, 0);
    }
    SetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                    nullptr, nullptr, const_cast<ACL*>(dacl.BuildAcl()), nullptr);
    SetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, AdministratorsSid().Sid(), nullptr,
                    nullptr, nullptr);
}
