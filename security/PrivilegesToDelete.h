// The privileges a protected token loses: every one the source token holds
// but SeChangeNotifyPrivilege, which every program needs to walk folders.
#pragma once

#include "security/PrivilegeSet.h"

#include <windows.h>

// Adds them to SET. False, with the system's last error, when TOKEN's
// privileges cannot be read: a copy made without the list could keep them.
bool AddPrivilegesToDelete(HANDLE token, CPrivilegeSet& set);
