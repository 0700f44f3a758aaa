// A SECURITY_ATTRIBUTES record with its own copy of the descriptor it names.
#pragma once

#include "security/SecurityDescriptorHolder.h"

#include <windows.h>

class CSecurityAttributes : public SECURITY_ATTRIBUTES {
public:
    CSecurityAttributes() noexcept : SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE} {}
    CSecurityAttributes(const CSecurityAttributes&) = delete;
    CSecurityAttributes& operator=(const CSecurityAttributes&) = delete;

    // Holds a self-relative copy of DESCRIPTOR and points the record at it.
    void Set(const CSecurityDescriptorHolder& descriptor, bool inheritHandles);

private:
    CSecurityDescriptorHolder descriptor_;
};
