#include "security/AccessToken.h"

#include "common/TwoCall.h"
#include "security/AceList.h"
#include "security/PrivilegeSet.h"
#include "security/PrivilegesToDelete.h"
#include "security/SidAttributeSet.h"
#include "security/SidHolder.h"

#include <userenv.h>

using unique_environment = unique_any<void*, &::DestroyEnvironmentBlock>;

void CAccessToken::Clear() noexcept
{
    if (profile_) {
        DWORD error = GetLastError();
        UnloadUserProfile(token_.get(), profile_);
        SetLastError(error);
        profile_ = nullptr;
    }
    token_.reset();
}

void CAccessToken::Attach(HANDLE token) noexcept
{
    Clear();
    token_.reset(token);
}

bool CAccessToken::QueryDefaultDacl(CAceList& list) const
{
    StackOrHeapBuffer<1024> buffer;
    if (!ReadTwoCall(buffer, [&](void* data, DWORD size, DWORD* needed) {
            return GetTokenInformation(token_.get(), TokenDefaultDacl, data, size, needed) != FALSE;
        }))
        return false;
    list.RemoveAll();
    // A token may have no default DACL at all; the list then stays empty.
    const auto* dacl = reinterpret_cast<const TOKEN_DEFAULT_DACL*>(buffer.data());
    if (buffer.size() >= sizeof *dacl && dacl->DefaultDacl)
        list.CopyFromAcl(dacl->DefaultDacl);
    return true;
}

bool CAccessToken::ReplaceDefaultDacl(CAceList& list) const
{
    TOKEN_DEFAULT_DACL dacl = {const_cast<ACL*>(list.BuildAcl())};
    return SetTokenInformation(token_.get(), TokenDefaultDacl, &dacl, sizeof dacl) != FALSE;
}

bool CAccessToken::QueryTokenUser(CSidHolder& user) const
{
    StackOrHeapBuffer<1024> buffer;
    if (!ReadTwoCall(buffer, [&](void* data, DWORD size, DWORD* needed) {
            return GetTokenInformation(token_.get(), TokenUser, data, size, needed) != FALSE;
        }))
        return false;
    user.CopyIn(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
    return true;
}

// DISABLE_MAX_PRIVILEGE asks for every privilege but SeChangeNotify to go;
// the same privileges are also listed for deletion, because a system that
// ignores the flag (Wine does) still honours the explicit list.
bool CAccessToken::MakeRestrictedCopy(CAccessToken* target, CSidAttributeSet& disable,
                                      CSidAttributeSet& restrict, CPrivilegeSet& remove) const
{
    if (!target)
        return false;
    CPrivilegeSet deleting;
    if (const TOKEN_PRIVILEGES* asked = remove.Record())
        for (DWORD i = 0; i < asked->PrivilegeCount; ++i)
            deleting.Add(asked->Privileges[i].Luid, asked->Privileges[i].Attributes);
    if (!AddPrivilegesToDelete(token_.get(), deleting))
        return false;
    const TOKEN_GROUPS* disabled = disable.Record();
    const TOKEN_GROUPS* restricting = restrict.Record();
    const TOKEN_PRIVILEGES* deleted = deleting.Record();
    HANDLE copy = nullptr;
    if (!CreateRestrictedToken(
            token_.get(), DISABLE_MAX_PRIVILEGE,
            disabled ? disabled->GroupCount : 0,
            disabled ? const_cast<SID_AND_ATTRIBUTES*>(disabled->Groups) : nullptr,
            deleted ? deleted->PrivilegeCount : 0,
            deleted ? const_cast<LUID_AND_ATTRIBUTES*>(deleted->Privileges) : nullptr,
            restricting ? restricting->GroupCount : 0,
            restricting ? const_cast<SID_AND_ATTRIBUTES*>(restricting->Groups) : nullptr, &copy))
        return false;
    target->Attach(copy);
    return true;
}

// CreateProcessAsUser takes only a primary token: an impersonation token
// is duplicated into one that DUPLICATE then owns.
bool CAccessToken::PrimaryToken(HANDLE* primary, unique_handle& duplicate) const
{
    TOKEN_TYPE type = TokenPrimary;
    DWORD size = 0;
    if (!GetTokenInformation(token_.get(), TokenType, &type, sizeof type, &size))
        return false;
    *primary = token_.get();
    if (type == TokenPrimary)
        return true;
    if (!DuplicateTokenEx(token_.get(), TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY,
                          nullptr, SecurityImpersonation, TokenPrimary, duplicate.put()))
        return false;
    *primary = duplicate.get();
    return true;
}

// False when the token's user cannot be read. A profile that cannot be
// loaded is no failure: the process then runs with the default one.
bool CAccessToken::LoadProfile(HANDLE primary)
{
    if (profile_)
        return true;
    CSidHolder user;
    if (!QueryTokenUser(user))
        return false;
    std::string name = user.AccountName();
    PROFILEINFOA profile = {};
    profile.dwSize = sizeof profile;
    profile.lpUserName = &name[0];
    if (LoadUserProfileA(primary, &profile))
        profile_ = profile.hProfile;
    return true;
}

bool CAccessToken::StartProcessAs(const char* applicationName, char* commandLine,
                                  PROCESS_INFORMATION* process, STARTUPINFOA* startup, DWORD flags,
                                  bool loadProfile, SECURITY_ATTRIBUTES* processAttributes,
                                  SECURITY_ATTRIBUTES* threadAttributes, bool inheritHandles,
                                  const char* currentDirectory)
{
    HANDLE primary = nullptr;
    unique_handle duplicate;
    if (!PrimaryToken(&primary, duplicate))
        return false;
    if (loadProfile && !LoadProfile(primary))
        return false;
    unique_environment environment;
    if (!CreateEnvironmentBlock(environment.put(), primary, inheritHandles))
        return false;
    return CreateProcessAsUserA(primary, applicationName, commandLine, processAttributes,
                                threadAttributes, inheritHandles, flags, environment.get(),
                                currentDirectory, startup, process) != FALSE;
}
