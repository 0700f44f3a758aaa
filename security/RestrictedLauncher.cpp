#include "security/RestrictedLauncher.h"

#include "common/AtlException.h"
#include "common/UniqueHandle.h"
#include "security/AccessToken.h"
#include "security/AceList.h"
#include "security/PrivilegeSet.h"
#include "security/SidAttributeSet.h"
#include "security/SidHolder.h"

#include <stdarg.h>
#include <stdio.h>

// Bounded: at most CAPACITY - 1 characters and a terminator; nothing at all
// for a capacity of 0 or one no signed count can describe.
static void WriteStatus(char* message, DWORD capacity, const char* format, ...)
{
    if (!message || capacity == 0 || capacity > 0x7FFFFFFF)
        return;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, capacity, format, arguments);
    va_end(arguments);
}

// The code a failed step returns: never 0, which the caller reads as a
// process started.
static DWORD FailureCode()
{
    DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

static DWORD Fail(char* message, DWORD capacity, const char* step, DWORD code)
{
    WriteStatus(message, capacity, "%s", step);
    return code;
}

// The Win32 code inside an exception's HRESULT.
static DWORD CodeOf(const CAtlException& exception)
{
    HRESULT hr = exception;
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : ERROR_GEN_FAILURE;
}

DWORD RunRestricted(const char* applicationName, char* commandLine, char* message, DWORD capacity,
                    DWORD* threadId, HANDLE* process, HANDLE* thread)
{
    // The status is informational: a buffer too small for it changes no result.
    WriteStatus(message, capacity, "SUCCEEDED - code: %d", 0);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return Fail(message, capacity, "GetVersionEx", FailureCode());
    // Restricted tokens and this recipe are known right only on Windows
    // 2000, XP and Server 2003; elsewhere nothing is started.
    if (version.dwMajorVersion != 5 || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return ERROR_SUCCESS;
    if (version.dwMinorVersion <= 2)
        return LaunchRestricted(applicationName, commandLine, message, capacity, threadId, process,
                                thread);
    WriteStatus(message, capacity, "Windows version not supported ! - code: %d",
                (int)version.dwMinorVersion);
    return ERROR_SUCCESS;
}

CSidHolder (*g_groupToDeny)() = AdministratorsSid;

namespace {

// What one launch holds. Everything is released when the launch returns,
// but for the process and thread handles it hands to the caller.
struct Launch {
    CAccessToken processToken;
    CAccessToken restrictedToken;
    CSidAttributeSet disable;
    CSidHolder user;
    const char* step = "";
};

}  // namespace

static bool MakeCopyDenying(const CAccessToken& source, CSidAttributeSet& disable, CAccessToken* target)
{
    CSidAttributeSet restrict;
    CPrivilegeSet remove;
    return source.MakeRestrictedCopy(target, disable, restrict, remove);
}

bool MakeProtectedToken(const CAccessToken& source, CAccessToken* target)
{
    CSidAttributeSet disable;
    disable.Add(g_groupToDeny(), 0);
    return MakeCopyDenying(source, disable, target);
}

// Quillet's own token, and BUILTIN\Administrators as the one group that
// the copy keeps for denying only.
static DWORD OpenOwnToken(Launch& launch, char* message, DWORD capacity)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token))
        return Fail(message, capacity, "OpenProcessToken", FailureCode());
    launch.processToken.Attach(token);
    try {
        launch.disable.Add(g_groupToDeny(), 0);
    } catch (const CAtlException& exception) {
        return Fail(message, capacity, "CAccessToken::Attach()", CodeOf(exception));
    }
    return ERROR_SUCCESS;
}

// The calling user's SID, read from Quillet's own token. A lookup by the
// name the system gives for the user fails for a name outside the ANSI code
// page (it comes back with '?' in it) and for a domain account whose domain
// controller is out of reach, and such a user could open no link at all.
static DWORD FindUser(Launch& launch, char* message, DWORD capacity)
{
    launch.step = "LoadAccount";
    if (!launch.processToken.QueryTokenUser(launch.user))
        return Fail(message, capacity, "LoadAccount", FailureCode());
    return ERROR_SUCCESS;
}

// Objects that the restricted process creates get its token's
// default DACL, whose entries for Administrators no longer grant it
// anything: an entry for the user keeps those objects its own. The entry
// stays on Quillet's token (one more for every launch), and the copy made
// next inherits it. Failures here are not the launch's.
static void GrantUserDefaultDacl(Launch& launch)
{
    launch.step = "QueryDefaultDacl";
    CAceList dacl;
    launch.processToken.QueryDefaultDacl(dacl);
    dacl.AddAllowed(launch.user, GENERIC_ALL, 0);
    launch.step = "ReplaceDefaultDacl";
    launch.processToken.ReplaceDefaultDacl(dacl);
}

// Suspended: nothing of the browser runs before the caller has read its
// token back. The process and its thread get the restricted token's
// default DACL: a DACL of their own would grant nothing that one does not
// already (the user, whom the browser runs as, has full access either way),
// so no security attributes are built.
static DWORD StartUnderRestrictedCopy(Launch& launch, const char* applicationName,
                                      char* commandLine, PROCESS_INFORMATION* started,
                                      char* message, DWORD capacity)
{
    launch.step = "CreateRestrictedToken";
    if (!MakeCopyDenying(launch.processToken, launch.disable, &launch.restrictedToken))
        return Fail(message, capacity, "CreateRestrictedToken", FailureCode());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    launch.step = "CreateProcessAsUser";
    if (!launch.restrictedToken.StartProcessAs(applicationName, commandLine, started, &startup,
                                               CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT |
                                                   CREATE_SUSPENDED,
                                               false, nullptr, nullptr, false, nullptr))
        return Fail(message, capacity, "CreateProcessAsUser", FailureCode());
    return ERROR_SUCCESS;
}

// Memory running out inside the security classes ends the launch like a
// failed call, named by the step it happened in.
static DWORD RunSteps(Launch& launch, const char* applicationName, char* commandLine,
                      PROCESS_INFORMATION* started, char* message, DWORD capacity)
{
    try {
        DWORD result = FindUser(launch, message, capacity);
        if (result != ERROR_SUCCESS)
            return result;
        GrantUserDefaultDacl(launch);
        return StartUnderRestrictedCopy(launch, applicationName, commandLine, started, message,
                                        capacity);
    } catch (const CAtlException& exception) {
        return Fail(message, capacity, launch.step, CodeOf(exception));
    }
}

DWORD LaunchRestricted(const char* applicationName, char* commandLine, char* message,
                       DWORD capacity, DWORD* threadId, HANDLE* process, HANDLE* thread)
{
    Launch launch;
    DWORD result = OpenOwnToken(launch, message, capacity);
    if (result != ERROR_SUCCESS)
        return result;
    PROCESS_INFORMATION started = {};
    result = RunSteps(launch, applicationName, commandLine, &started, message, capacity);
    if (result != ERROR_SUCCESS)
        return result;
    // The primary thread's id, not the process id: the launch flow looks for
    // the windows of that thread. A handle nobody asked for is closed.
    unique_handle processOwner(started.hProcess), threadOwner(started.hThread);
    if (threadId)
        *threadId = started.dwThreadId;
    if (process)
        *process = processOwner.release();
    if (thread)
        *thread = threadOwner.release();
    return ERROR_SUCCESS;
}
