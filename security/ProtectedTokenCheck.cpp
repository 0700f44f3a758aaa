#include "security/ProtectedTokenCheck.h"

#include "common/UniqueHandle.h"
#include "security/SidHolder.h"
#include "security/TokenInformation.h"

#include <vector>

// Empty when Administrators is there for denying only, or not there at all
// (a user who is no administrator has no rights of the group to lose), else
// why not.
static std::string AdministratorsProblem(HANDLE token)
{
    std::vector<BYTE> buffer;
    if (!ReadTokenInformation(token, TokenGroups, buffer) || buffer.size() < sizeof(TOKEN_GROUPS))
        return "the token's groups cannot be read";
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    CSidHolder administrators = AdministratorsSid();
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (!EqualSid(groups->Groups[i].Sid, administrators.Sid()))
            continue;
        DWORD attributes = groups->Groups[i].Attributes;
        if ((attributes & SE_GROUP_ENABLED) || !(attributes & SE_GROUP_USE_FOR_DENY_ONLY))
            return "BUILTIN\\Administrators is not deny-only";
    }
    return std::string();
}

static std::string RestrictingSidsProblem(HANDLE token, bool& unanswered)
{
    std::vector<BYTE> buffer;
    unanswered = false;
    if (!ReadTokenInformation(token, TokenRestrictedSids, buffer)) {
        // Wine has no answer for this class at all (Windows always has one):
        // that is reported, not refused, or nothing would start there.
        if (GetLastError() == ERROR_INVALID_FUNCTION) {
            unanswered = true;
            return std::string();
        }
        return "the token's restricting SIDs cannot be read";
    }
    if (buffer.size() >= sizeof(DWORD) && reinterpret_cast<const TOKEN_GROUPS*>(buffer.data())->GroupCount != 0)
        return "restricting SIDs were added";
    return std::string();
}

// Empty when SeChangeNotifyPrivilege is the only privilege left, else why
// not: any other (SeDebug, SeTcb, SeTakeOwnership, ...) is as good as the
// administrator rights the start takes away.
static std::string PrivilegesProblem(HANDLE token)
{
    std::vector<BYTE> buffer;
    if (!ReadTokenInformation(token, TokenPrivileges, buffer) || buffer.size() < sizeof(DWORD))
        return "the token's privileges cannot be read";
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    std::string kept;
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        char name[64] = "";
        DWORD size = sizeof name;
        LUID luid = privileges->Privileges[i].Luid;
        if (!LookupPrivilegeNameA(nullptr, &luid, name, &size))
            lstrcpyA(name, "(unnamed)");
        if (lstrcmpA(name, SE_CHANGE_NOTIFY_NAME) == 0)
            continue;
        kept += kept.empty() ? "privileges kept: " : " ";
        kept += name;
    }
    return kept;
}

ProtectedTokenVerdict CheckProtectedToken(HANDLE token)
{
    ProtectedTokenVerdict verdict;
    verdict.reason = AdministratorsProblem(token);
    if (verdict.reason.empty())
        verdict.reason = PrivilegesProblem(token);
    if (verdict.reason.empty())
        verdict.reason = RestrictingSidsProblem(token, verdict.restrictingSidsUnanswered);
    verdict.verified = verdict.reason.empty();
    return verdict;
}

ProtectedTokenVerdict CheckProtectedProcess(HANDLE process)
{
    unique_handle token;
    if (!OpenProcessToken(process, TOKEN_QUERY, token.put())) {
        ProtectedTokenVerdict verdict;
        verdict.reason = "the process token cannot be opened";
        return verdict;
    }
    return CheckProtectedToken(token.get());
}

static ProtectedTokenVerdict GuardedCheck(HANDLE process)
{
    try {
        return CheckProtectedProcess(process);
    } catch (...) {
        // Memory ran out in the check itself: nothing says the token is right.
        ProtectedTokenVerdict verdict;
        verdict.reason = "the token check failed";
        return verdict;
    }
}

bool ResumeIfProtected(HANDLE process, HANDLE thread, ProtectedTokenVerdict& verdict)
{
    verdict = GuardedCheck(process);
    if (verdict.verified && ResumeThread(thread) != static_cast<DWORD>(-1))
        return true;
    if (verdict.verified) {
        verdict.verified = false;
        verdict.reason = "not resumed";
    }
    // Suspended, the process has run nothing yet; ended, it never will. The
    // wait makes sure it is gone before the caller closes its handles.
    DWORD error = ERROR_SUCCESS;
    if (!TerminateProcess(process, ERROR_ACCESS_DENIED))
        error = GetLastError();
    else if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
        error = WAIT_TIMEOUT;
    if (error != ERROR_SUCCESS) {
        char code[32];
        wsprintfA(code, ", not ended: %lu", error);
        verdict.reason += code;
    }
    return false;
}
