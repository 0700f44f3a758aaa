#include "security/AccessToken.h"
#include "security/AceList.h"
#include "security/PrivilegeSet.h"
#include "security/SidAttributeSet.h"
#include "security/SidHolder.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

namespace {

HANDLE OpenOwnToken()
{
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token));
    return token;
}

// A private copy of the process token, so that changes stay in the test.
HANDLE DuplicateOwnToken(TOKEN_TYPE type)
{
    HANDLE own = OpenOwnToken(), copy = nullptr;
    EXPECT_TRUE(DuplicateTokenEx(own, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, type, &copy));
    CloseHandle(own);
    return copy;
}

bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

}  // namespace

// Every privilege but SeChangeNotifyPrivilege is gone: Windows removes them
// for DISABLE_MAX_PRIVILEGE, and every system for the explicit list.
static void ExpectOnlyChangeNotifyPrivilege(HANDLE token)
{
    EXPECT_EQ(std::vector<std::string>{"SeChangeNotifyPrivilege"}, TokenPrivilegeNames(token));
}

static void ExpectNoRestrictingSids(HANDLE token)
{
    SetLastError(0xdeadbeef);
    std::vector<BYTE> restricting = TokenInformation(token, TokenRestrictedSids);
    if (!RunningOnWine()) {
        ASSERT_FALSE(restricting.empty()) << GetLastError();
        EXPECT_EQ(0u, reinterpret_cast<TOKEN_GROUPS*>(restricting.data())->GroupCount);
    } else {
        // WINE_GAP: Wine 8 answers TokenRestrictedSids with ERROR_INVALID_FUNCTION.
        EXPECT_TRUE(restricting.empty()) << "Wine now reports restricting SIDs";
        EXPECT_EQ((DWORD)ERROR_INVALID_FUNCTION, GetLastError());
    }
    EXPECT_FALSE(IsTokenRestricted(token));
}

TEST(AccessToken, RestrictedCopyKeepsAdministratorsForDenyingOnly)
{
    CAccessToken source;
    source.Attach(OpenOwnToken());
    DWORD before = 0;
    ASSERT_TRUE(TokenGroupAttributes(source.Handle(), "S-1-5-32-544", &before));
    ASSERT_TRUE(before & SE_GROUP_ENABLED) << "the test must run as an administrator";

    CSidAttributeSet disable, restrict;
    CPrivilegeSet remove;
    disable.Add(AdministratorsSid(), 0);
    disable.Add(AdministratorsSid(), 0);  // the same SID again replaces, not adds
    EXPECT_EQ(1u, disable.GetCount());
    CAccessToken restricted;
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(source.MakeRestrictedCopy(&restricted, disable, restrict, remove)) << GetLastError();
    ASSERT_NE(nullptr, restricted.Handle());
    EXPECT_NE(source.Handle(), restricted.Handle());

    DWORD attributes = 0;
    ASSERT_TRUE(TokenGroupAttributes(restricted.Handle(), "S-1-5-32-544", &attributes));
    EXPECT_TRUE(attributes & SE_GROUP_USE_FOR_DENY_ONLY) << std::hex << attributes;
    EXPECT_FALSE(attributes & SE_GROUP_ENABLED) << std::hex << attributes;
    ExpectNoRestrictingSids(restricted.Handle());
    std::vector<BYTE> type = TokenInformation(restricted.Handle(), TokenType);
    ASSERT_EQ(sizeof(TOKEN_TYPE), type.size());
    EXPECT_EQ(TokenPrimary, *reinterpret_cast<TOKEN_TYPE*>(type.data()));
    ExpectOnlyChangeNotifyPrivilege(restricted.Handle());
}

TEST(AccessToken, RestrictedCopyWithEmptySetsOnlyDropsPrivileges)
{
    CAccessToken source;
    source.Attach(OpenOwnToken());
    CSidAttributeSet disable, restrict;
    CPrivilegeSet remove;
    EXPECT_EQ(nullptr, disable.Record());
    EXPECT_EQ(nullptr, remove.Record());
    CAccessToken restricted;
    EXPECT_FALSE(source.MakeRestrictedCopy(nullptr, disable, restrict, remove));
    ASSERT_TRUE(source.MakeRestrictedCopy(&restricted, disable, restrict, remove)) << GetLastError();

    DWORD attributes = 0;
    ASSERT_TRUE(TokenGroupAttributes(restricted.Handle(), "S-1-5-32-544", &attributes));
    EXPECT_TRUE(attributes & SE_GROUP_ENABLED) << std::hex << attributes;
    ExpectNoRestrictingSids(restricted.Handle());
    ExpectOnlyChangeNotifyPrivilege(restricted.Handle());
}

TEST(AccessToken, PrivilegeSetRecordFollowsChanges)
{
    LUID changeNotify = {}, shutdown = {};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeChangeNotifyPrivilege", &changeNotify));
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
    CPrivilegeSet set;
    set.Add(changeNotify, 0);
    const TOKEN_PRIVILEGES* record = set.Record();
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(1u, record->PrivilegeCount);
    set.Add(changeNotify, SE_PRIVILEGE_ENABLED);
    set.Add(shutdown, 0);
    record = set.Record();
    ASSERT_EQ(2u, record->PrivilegeCount);
    for (DWORD i = 0; i < 2; ++i) {
        const LUID_AND_ATTRIBUTES& entry = record->Privileges[i];
        bool isChangeNotify = entry.Luid.LowPart == changeNotify.LowPart;
        SCOPED_TRACE(entry.Luid.LowPart);
        EXPECT_EQ(isChangeNotify ? (DWORD)SE_PRIVILEGE_ENABLED : 0u, entry.Attributes);
        EXPECT_TRUE(isChangeNotify || entry.Luid.LowPart == shutdown.LowPart);
    }
}

TEST(AccessToken, DefaultDaclAndUserReadBack)
{
    CAccessToken token;
    token.Attach(DuplicateOwnToken(TokenPrimary));
    std::vector<BYTE> userBytes = TokenInformation(token.Handle(), TokenUser);
    ASSERT_FALSE(userBytes.empty());
    PSID systemUser = reinterpret_cast<TOKEN_USER*>(userBytes.data())->User.Sid;

    CSidHolder user;
    ASSERT_TRUE(token.QueryTokenUser(user));
    EXPECT_TRUE(EqualSid(systemUser, user.Sid()));

    CAceList dacl;
    ASSERT_TRUE(token.QueryDefaultDacl(dacl));
    std::vector<BYTE> before = TokenInformation(token.Handle(), TokenDefaultDacl);
    ASSERT_FALSE(before.empty());
    size_t count = ReadAces(reinterpret_cast<TOKEN_DEFAULT_DACL*>(before.data())->DefaultDacl).size();
    EXPECT_EQ(count, dacl.GetCount());

    ASSERT_TRUE(dacl.AddAllowed(user, GENERIC_ALL, 0));
    ASSERT_TRUE(token.ReplaceDefaultDacl(dacl));
    std::vector<BYTE> after = TokenInformation(token.Handle(), TokenDefaultDacl);
    ASSERT_FALSE(after.empty());
    std::vector<AceFacts> aces = ReadAces(reinterpret_cast<TOKEN_DEFAULT_DACL*>(after.data())->DefaultDacl);
    ASSERT_EQ(count + 1, aces.size());
    EXPECT_EQ(SidText(systemUser), aces.back().sid);
    EXPECT_EQ((ACCESS_MASK)GENERIC_ALL, aces.back().mask);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces.back().type);
}

TEST(AccessToken, OwnsItsHandleUntilDetached)
{
    HANDLE first = OpenOwnToken(), second = OpenOwnToken();
    {
        CAccessToken token;
        token.Attach(first);
        token.Attach(second);
        EXPECT_FALSE(HandleIsOpen(first)) << "Attach must close the token it held";
        EXPECT_EQ(second, token.Detach());
        EXPECT_EQ(nullptr, token.Handle());
    }
    EXPECT_TRUE(HandleIsOpen(second)) << "a detached token must stay open";
    {
        CAccessToken token;
        token.Attach(second);
    }
    EXPECT_FALSE(HandleIsOpen(second));
}

TEST(AccessToken, StartsProcessUnderImpersonationToken)
{
    TestFile report = TestFile::InTemp("token-start");
    std::string command = StandinCommand(report.path(), "--exit");
    CAccessToken token;
    token.Attach(DuplicateOwnToken(TokenImpersonation));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(token.StartProcessAs(nullptr, &command[0], &process, &startup,
                                     CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, false,
                                     nullptr, nullptr, false, nullptr))
        << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 20000));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    StandinReport facts;
    ASSERT_TRUE(ReadStandinReport(report.path(), facts));
    EXPECT_EQ(process.dwProcessId, facts.pid);
}
