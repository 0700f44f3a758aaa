#include "tests/support/RestrictedImpersonation.h"

#include <sddl.h>

RestrictedImpersonation::RestrictedImpersonation()
{
    HANDLE own = nullptr, restricted = nullptr;
    PSID administrators = nullptr;
    ConvertStringSidToSidA("S-1-5-32-544", &administrators);
    SID_AND_ATTRIBUTES disable = {administrators, 0};
    active_ = OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own) &&
              CreateRestrictedToken(own, 0, 1, &disable, 0, nullptr, 0, nullptr, &restricted) &&
              ImpersonateLoggedOnUser(restricted);
    LocalFree(administrators);
    CloseHandle(restricted);
    CloseHandle(own);
}

RestrictedImpersonation::~RestrictedImpersonation()
{
    RevertToSelf();
}
