// Starting a command line under a copy of Quillet's token in which
// BUILTIN\Administrators is deny-only and every privilege but
// SeChangeNotifyPrivilege is gone.
#pragma once

#include "security/AccessToken.h"
#include "security/SidHolder.h"

#include <windows.h>

// Both return a Win32 error code (0 = success) and write a one-line status
// into MESSAGE (at most CAPACITY - 1 characters and a terminator). The three
// out-parameters are written only when a process was created; the caller
// then owns both handles. The process is created suspended: the caller
// checks its token before it runs (CheckProtectedProcess) and resumes it.
DWORD RunRestricted(const char* applicationName, char* commandLine,
                    char* message, DWORD capacity,
                    DWORD* threadId, HANDLE* process, HANDLE* thread);
DWORD LaunchRestricted(const char* applicationName, char* commandLine,
                       char* message, DWORD capacity,
                       DWORD* threadId, HANDLE* process, HANDLE* thread);

// The token a protected start runs under, made from SOURCE (Quillet's own
// token): g_groupToDeny() for denying only, every privilege but
// SeChangeNotifyPrivilege deleted, no restricting SID. TARGET takes it.
// False with the system's last error; memory shortage throws CAtlException.
bool MakeProtectedToken(const CAccessToken& source, CAccessToken* target);

// The group that the restricted copy keeps for denying only:
// AdministratorsSid. A test may put another group here to get a token that
// is wrong on purpose.
extern CSidHolder (*g_groupToDeny)();
