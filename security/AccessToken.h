// One access token handle, and what the program does with a token: its
// default DACL, its user, a restricted copy, a process started under it.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>

class CAceList;
class CSidHolder;
class CSidAttributeSet;
class CPrivilegeSet;

class CAccessToken {
public:
    CAccessToken() = default;
    CAccessToken(const CAccessToken&) = delete;
    CAccessToken& operator=(const CAccessToken&) = delete;
    virtual ~CAccessToken() { Clear(); }

    // Unloads a profile loaded through the token, then closes the token.
    virtual void Clear() noexcept;

    // Takes ownership of TOKEN (the held token is cleared first).
    void Attach(HANDLE token) noexcept;
    // Gives the handle up without closing it.
    HANDLE Detach() noexcept { return token_.release(); }
    HANDLE Handle() const noexcept { return token_.get(); }

    // The queries and the changes return false with the system's last error.
    bool QueryDefaultDacl(CAceList& list) const;
    bool ReplaceDefaultDacl(CAceList& list) const;
    bool QueryTokenUser(CSidHolder& user) const;
    // CreateRestrictedToken with DISABLE_MAX_PRIVILEGE; every privilege but
    // SeChangeNotify is also listed for deletion, beside those in REMOVE.
    // TARGET takes the copy.
    bool MakeRestrictedCopy(CAccessToken* target, CSidAttributeSet& disable,
                            CSidAttributeSet& restrict, CPrivilegeSet& remove) const;
    // CreateProcessAsUserA under the token (a primary duplicate of an
    // impersonation token) with the user's own default environment.
    bool StartProcessAs(const char* applicationName, char* commandLine,
                        PROCESS_INFORMATION* process, STARTUPINFOA* startup, DWORD flags,
                        bool loadProfile, SECURITY_ATTRIBUTES* processAttributes,
                        SECURITY_ATTRIBUTES* threadAttributes, bool inheritHandles,
                        const char* currentDirectory);

private:
    bool PrimaryToken(HANDLE* primary, unique_handle& duplicate) const;
    bool LoadProfile(HANDLE primary);

    unique_handle token_;
    HANDLE profile_ = nullptr;
};
