// This thread under a token like the protected browser's: a restricted copy
// of the process token with BUILTIN\Administrators for denying only.
#pragma once

#include <windows.h>

class RestrictedImpersonation {
public:
    RestrictedImpersonation();
    ~RestrictedImpersonation();
    RestrictedImpersonation(const RestrictedImpersonation&) = delete;
    RestrictedImpersonation& operator=(const RestrictedImpersonation&) = delete;

    bool Active() const { return active_; }

private:
    bool active_ = false;
};
