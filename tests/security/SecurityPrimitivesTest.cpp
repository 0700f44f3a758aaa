#include "common/AtlException.h"
#include "security/AceList.h"
#include "security/ObjectAceEntry.h"
#include "security/SecurityAttributes.h"
#include "security/SecurityDescriptorHolder.h"
#include "security/SharedObjectDacl.h"
#include "security/SidHolder.h"
#include "tests/security/SecurityTestSupport.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <string.h>

namespace {

const GUID objectGuid = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID inheritedGuid = {0x99aabbcc, 0xddee, 0xff00, {9, 10, 11, 12, 13, 14, 15, 16}};

CSidHolder SidFromText(const char* text)
{
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(text, &sid)) << text;
    CSidHolder holder;
    holder.CopyIn(sid);
    LocalFree(sid);
    return holder;
}

HRESULT ThrownBy(void (*work)())
{
    try {
        work();
    } catch (const CAtlException& exception) {
        return exception;
    }
    return S_OK;
}

}  // namespace

TEST(SidHolder, WellKnownSidsAndTheirAccounts)
{
    CSidHolder administrators = AdministratorsSid();
    EXPECT_EQ("S-1-5-32-544", SidText(administrators.Sid()));
    EXPECT_EQ(SidTypeUnknown, administrators.Use());
    EXPECT_EQ("Administrators", administrators.AccountName());
    EXPECT_EQ("BUILTIN", administrators.DomainName());
    EXPECT_EQ(SidTypeAlias, administrators.Use());
    EXPECT_EQ("S-1-5-18", SidText(LocalSystemSid().Sid()));

    CSidHolder copy(administrators);
    EXPECT_NE(administrators.Sid(), copy.Sid());
    EXPECT_TRUE(EqualSid(administrators.Sid(), copy.Sid()));
    EXPECT_EQ(SidTypeAlias, copy.Use());
    EXPECT_EQ("Administrators", copy.AccountName());
}

TEST(SidHolder, BadInputThrowsAndLeavesTheHolderUsable)
{
    EXPECT_EQ(E_INVALIDARG, ThrownBy([] {
        static const SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
        CSidHolder none(nt, nullptr, 0);
    }));

    CSidHolder holder = AdministratorsSid();
    BYTE notASid[12] = {7, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0};
    try {
        holder.LoadAccount(notASid, nullptr);
        ADD_FAILURE() << "an invalid SID was accepted";
    } catch (const CAtlException& exception) {
        EXPECT_EQ(E_INVALIDARG, (HRESULT)exception);
    }
    EXPECT_EQ(nullptr, holder.Sid());
    EXPECT_EQ(SidTypeInvalid, holder.Use());

    EXPECT_FALSE(holder.LoadAccount(nullptr, nullptr));
    EXPECT_TRUE(holder.LoadAccount(LocalSystemSid().Sid(), nullptr));
    EXPECT_EQ("S-1-5-18", SidText(holder.Sid()));
}

TEST(AtlException, LastErrorBecomesAFailureHresult)
{
    static const struct {
        DWORD error;
        HRESULT expected;
    } cases[] = {
        {ERROR_ACCESS_DENIED, (HRESULT)0x80070005},
        {ERROR_INVALID_PARAMETER, E_INVALIDARG},
        {0x800700AAu, (HRESULT)0x800700AA},  // already an HRESULT: kept
        {0, E_FAIL},                         // no error set: still a failure
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        SetLastError(c.error);
        EXPECT_EQ(c.expected, HresultFromLastError());
    }
}

TEST(AceEntry, BinaryFormsInABuiltAcl)
{
    CSidHolder administrators = AdministratorsSid();
    CAceEntry plain(administrators, 0x601F0000, INHERIT_ONLY_ACE, false);
    CObjectAceEntry both(administrators, GENERIC_READ, 0, true, &objectGuid, &inheritedGuid);
    CObjectAceEntry inheritedOnly(administrators, GENERIC_WRITE, 0, false, nullptr, &inheritedGuid);

    const DWORD sidLength = GetLengthSid(administrators.Sid());
    ASSERT_EQ(16u, sidLength);
    EXPECT_EQ(8 + sidLength, plain.BinarySize());
    EXPECT_EQ(44 + sidLength, both.BinarySize());
    EXPECT_EQ(28 + sidLength, inheritedOnly.BinarySize());

    BYTE expectedPlain[24] = {ACCESS_DENIED_ACE_TYPE, INHERIT_ONLY_ACE, 24, 0, 0, 0, 0x1F, 0x60};
    memcpy(expectedPlain + 8, administrators.Sid(), sidLength);
    EXPECT_EQ(0, memcmp(expectedPlain, plain.Binary(), sizeof expectedPlain));
    EXPECT_EQ(plain.Binary(), plain.Binary()) << "the binary form is built once";

    auto* object = static_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(both.Binary());
    EXPECT_EQ(ACCESS_ALLOWED_OBJECT_ACE_TYPE, object->Header.AceType);
    EXPECT_EQ(60, object->Header.AceSize);
    EXPECT_EQ((DWORD)GENERIC_READ, object->Mask);
    EXPECT_EQ((DWORD)(ACE_OBJECT_TYPE_PRESENT | ACE_INHERITED_OBJECT_TYPE_PRESENT), object->Flags);
    EXPECT_TRUE(IsEqualGUID(objectGuid, object->ObjectType));
    EXPECT_TRUE(IsEqualGUID(inheritedGuid, object->InheritedObjectType));
    EXPECT_TRUE(EqualSid(administrators.Sid(), (PSID)&object->SidStart));

    // With one GUID absent, the present one moves up and the SID follows it.
    auto* bytes = static_cast<const BYTE*>(inheritedOnly.Binary());
    auto* header = reinterpret_cast<const ACCESS_DENIED_OBJECT_ACE*>(bytes);
    EXPECT_EQ(ACCESS_DENIED_OBJECT_ACE_TYPE, header->Header.AceType);
    EXPECT_EQ((DWORD)ACE_INHERITED_OBJECT_TYPE_PRESENT, header->Flags);
    EXPECT_EQ(0, memcmp(&inheritedGuid, bytes + 12, sizeof(GUID)));
    EXPECT_TRUE(EqualSid(administrators.Sid(), (PSID)(bytes + 28)));
    EXPECT_TRUE(IsEqualGUID(GUID{}, inheritedOnly.ObjectType()));
}

TEST(AceList, BuildsEntriesInCanonicalOrder)
{
    CAceList list;
    CSidHolder a = SidFromText("S-1-5-21-1-2-3-1001");
    CSidHolder b = SidFromText("S-1-5-21-1-2-3-1002");
    CSidHolder c = SidFromText("S-1-5-21-1-2-3-1003");
    ASSERT_TRUE(list.AddAllowed(a, GENERIC_READ, 0));
    ASSERT_TRUE(list.AddDenied(b, GENERIC_WRITE, 0));
    ASSERT_TRUE(list.AddAllowed(c, GENERIC_ALL, INHERITED_ACE));

    const ACL* acl = list.BuildAcl();
    ASSERT_NE(nullptr, acl);
    EXPECT_TRUE(IsValidAcl(const_cast<ACL*>(acl)));
    EXPECT_EQ(ACL_REVISION, acl->AclRevision);
    std::vector<AceFacts> aces = ReadAces(acl);
    ASSERT_EQ(3u, aces.size());
    static const struct {
        BYTE type;
        BYTE flags;
        ACCESS_MASK mask;
        const char* sid;
    } expected[] = {
        {ACCESS_DENIED_ACE_TYPE, 0, GENERIC_WRITE, "S-1-5-21-1-2-3-1002"},
        {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ, "S-1-5-21-1-2-3-1001"},
        {ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, GENERIC_ALL, "S-1-5-21-1-2-3-1003"},
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].type, aces[i].type);
        EXPECT_EQ(expected[i].flags, aces[i].flags);
        EXPECT_EQ(expected[i].mask, aces[i].mask);
        EXPECT_EQ(expected[i].sid, aces[i].sid);
    }
    EXPECT_EQ(8u + 3 * (8 + 28), acl->AclSize);
}

// Rank in the canonical order: explicit denied, explicit allowed, inherited
// denied, inherited allowed, plain before object within each.
static int Rank(const AceFacts& ace)
{
    bool object = ace.type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || ace.type == ACCESS_DENIED_OBJECT_ACE_TYPE;
    bool allowed = ace.type == ACCESS_ALLOWED_ACE_TYPE || ace.type == ACCESS_ALLOWED_OBJECT_ACE_TYPE;
    return ((ace.flags & INHERITED_ACE) ? 4 : 0) + (allowed ? 2 : 0) + (object ? 1 : 0);
}

// An object entry laid out by hand (Wine's AddAccess*ObjectAce fail): the
// GUIDs that are present, in order, then the SID.
static bool AddObjectAce(ACL* acl, BYTE type, BYTE flags, ACCESS_MASK mask, const GUID* object,
                         const GUID* inherited, PSID sid)
{
    BYTE ace[128] = {};
    auto* header = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(ace);
    BYTE* next = ace + 12;
    header->Flags = (object ? ACE_OBJECT_TYPE_PRESENT : 0) | (inherited ? ACE_INHERITED_OBJECT_TYPE_PRESENT : 0);
    for (const GUID* guid : {object, inherited})
        if (guid) {
            memcpy(next, guid, sizeof *guid);
            next += sizeof *guid;
        }
    memcpy(next, sid, GetLengthSid(sid));
    header->Header = {type, flags, (WORD)(next - ace + GetLengthSid(sid))};
    header->Mask = mask;
    return AddAce(acl, ACL_REVISION_DS, MAXDWORD, ace, header->Header.AceSize) != FALSE;
}

TEST(AceList, OrdersLongListsAndObjectEntriesThroughCopies)
{
    // Eight entries in reverse order (gap 4, then 1), object entries among
    // them: they come in through an ACL that CopyFromAcl reads.
    BYTE raw[1024];
    ACL* source = reinterpret_cast<ACL*>(raw);
    ASSERT_TRUE(InitializeAcl(source, sizeof raw, ACL_REVISION_DS));
    CSidHolder sid = AdministratorsSid();
    GUID guid = objectGuid;
    ASSERT_TRUE(AddObjectAce(source, ACCESS_ALLOWED_OBJECT_ACE_TYPE, INHERITED_ACE, 1, &guid, nullptr, sid.Sid()));
    ASSERT_TRUE(AddAccessAllowedAceEx(source, ACL_REVISION_DS, INHERITED_ACE, 2, sid.Sid()));
    ASSERT_TRUE(AddObjectAce(source, ACCESS_DENIED_OBJECT_ACE_TYPE, INHERITED_ACE, 3, nullptr, &guid, sid.Sid()));
    ASSERT_TRUE(AddAccessDeniedAceEx(source, ACL_REVISION_DS, INHERITED_ACE, 4, sid.Sid()));
    ASSERT_TRUE(AddObjectAce(source, ACCESS_ALLOWED_OBJECT_ACE_TYPE, 0, 5, &guid, &guid, sid.Sid()));
    ASSERT_TRUE(AddAccessAllowedAceEx(source, ACL_REVISION_DS, 0, 6, sid.Sid()));
    ASSERT_TRUE(AddObjectAce(source, ACCESS_DENIED_OBJECT_ACE_TYPE, 0, 7, &guid, nullptr, sid.Sid()));
    ASSERT_TRUE(AddAccessDeniedAceEx(source, ACL_REVISION_DS, 0, 8, sid.Sid()));

    CAceList list;
    list.CopyFromAcl(source);
    ASSERT_EQ(8u, list.GetCount());
    EXPECT_TRUE(list.GetAt(0).IsObjectEntry());
    EXPECT_TRUE(IsEqualGUID(objectGuid, list.GetAt(0).ObjectType()));
    EXPECT_TRUE(IsEqualGUID(GUID{}, list.GetAt(0).InheritedObjectType()));
    EXPECT_TRUE(IsEqualGUID(objectGuid, list.GetAt(2).InheritedObjectType()));
    const ACL* built = list.BuildAcl();
    ASSERT_NE(nullptr, built);
    EXPECT_EQ(ACL_REVISION_DS, built->AclRevision);
    EXPECT_TRUE(IsValidAcl(const_cast<ACL*>(built)));
    std::vector<AceFacts> aces = ReadAces(built);
    ASSERT_EQ(8u, aces.size());
    for (size_t i = 0; i < aces.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(0, Rank(aces[i]) - (int)i) << "mask " << aces[i].mask;
        EXPECT_EQ(8 - i, aces[i].mask);
    }
}

TEST(AceList, InvalidSidChangesNeitherListNorCachedAcl)
{
    CAceList list;
    ASSERT_TRUE(list.AddAllowed(AdministratorsSid(), GENERIC_ALL));
    const ACL* before = list.BuildAcl();
    std::vector<BYTE> bytes((const BYTE*)before, (const BYTE*)before + before->AclSize);

    CSidHolder empty;
    EXPECT_FALSE(list.AddAllowed(empty, GENERIC_READ));
    EXPECT_FALSE(list.AddDenied(empty, GENERIC_READ));
    EXPECT_EQ(1u, list.GetCount());
    const ACL* after = list.BuildAcl();
    EXPECT_EQ(before, after) << "the cached ACL was dropped";
    EXPECT_EQ(0, memcmp(bytes.data(), after, bytes.size()));

    EXPECT_THROW(list.GetAt(1), CAtlException);
    EXPECT_THROW(list.RemoveAt(1), CAtlException);
}

TEST(AceList, NullListBecomesEmptyOnAdd)
{
    CAceList list;
    list.SetNull();
    EXPECT_EQ(nullptr, list.BuildAcl());
    ASSERT_TRUE(list.AddDenied(LocalSystemSid(), GENERIC_ALL));
    EXPECT_FALSE(list.IsNull());
    std::vector<AceFacts> aces = ReadAces(list.BuildAcl());
    ASSERT_EQ(1u, aces.size());
    EXPECT_EQ("S-1-5-18", aces[0].sid);
}

TEST(AceList, CopyFromAclSkipsAuditEntries)
{
    BYTE raw[512];
    ACL* source = reinterpret_cast<ACL*>(raw);
    ASSERT_TRUE(InitializeAcl(source, sizeof raw, ACL_REVISION));
    CSidHolder system = LocalSystemSid();
    CSidHolder administrators = AdministratorsSid();
    ASSERT_TRUE(AddAccessDeniedAceEx(source, ACL_REVISION, CONTAINER_INHERIT_ACE, KEY_WRITE, system.Sid()));
    ASSERT_TRUE(AddAuditAccessAce(source, ACL_REVISION, GENERIC_ALL, administrators.Sid(), TRUE, TRUE));
    ASSERT_TRUE(AddAccessAllowedAce(source, ACL_REVISION, KEY_READ, administrators.Sid()));

    CAceList list;
    list.CopyFromAcl(source);
    ASSERT_EQ(2u, list.GetCount());
    EXPECT_FALSE(list.GetAt(0).IsAllowed());
    EXPECT_EQ(CONTAINER_INHERIT_ACE, list.GetAt(0).Flags());
    EXPECT_EQ((ACCESS_MASK)KEY_WRITE, list.GetAt(0).Mask());
    EXPECT_TRUE(EqualSid(system.Sid(), list.GetAt(0).Sid().Sid()));
    EXPECT_TRUE(list.GetAt(1).IsAllowed());
    EXPECT_EQ((ACCESS_MASK)KEY_READ, list.GetAt(1).Mask());
}

TEST(SecurityDescriptorHolder, SetDaclNullEmptyAndWithEntries)
{
    static const struct {
        const char* name;
        bool makeNull;
        int entries;
    } cases[] = {{"null list", true, 0}, {"empty list", false, 0}, {"one entry", false, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAceList list;
        if (c.makeNull)
            list.SetNull();
        if (c.entries)
            list.AddAllowed(AdministratorsSid(), GENERIC_ALL, OBJECT_INHERIT_ACE);
        CSecurityDescriptorHolder holder;
        holder.SetDacl(list, false);
        ASSERT_TRUE(IsValidSecurityDescriptor(holder.Get()));
        BOOL present = FALSE, defaulted = TRUE;
        PACL dacl = (PACL)0xdeadbeef;
        ASSERT_TRUE(GetSecurityDescriptorDacl(holder.Get(), &present, &dacl, &defaulted));
        EXPECT_TRUE(present);
        EXPECT_FALSE(defaulted);
        if (c.makeNull) {
            EXPECT_EQ(nullptr, dacl);
            continue;
        }
        // An empty list must deny everyone: a present DACL without entries,
        // never an absent one (which would grant everyone everything).
        ASSERT_NE(nullptr, dacl);
        std::vector<AceFacts> aces = ReadAces(dacl);
        ASSERT_EQ((size_t)c.entries, aces.size());
        if (c.entries) {
            EXPECT_EQ("S-1-5-32-544", aces[0].sid);
        }
    }
}

TEST(SecurityDescriptorHolder, CopiesAreSelfRelativeAndKeepOwner)
{
    PSECURITY_DESCRIPTOR source = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "O:BAG:SYD:(A;;GA;;;WD)", SDDL_REVISION_1, &source, nullptr));
    CSecurityDescriptorHolder holder;
    holder.CopyFrom(source);
    LocalFree(source);
    EXPECT_TRUE(holder.IsSelfRelative());

    CAceList list;
    list.AddDenied(LocalSystemSid(), GENERIC_WRITE);
    holder.SetDacl(list, true);
    EXPECT_FALSE(holder.IsSelfRelative());

    CSecurityDescriptorHolder copy;
    copy.CopyFrom(holder.Get());
    EXPECT_TRUE(copy.IsSelfRelative());
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        copy.Get(), SDDL_REVISION_1,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
        nullptr));
    EXPECT_STREQ("O:BAG:SYD:(D;;GW;;;SY)", text);
    LocalFree(text);

    copy.Release();
    EXPECT_EQ(nullptr, copy.Get());
}

TEST(SecurityAttributes, HoldOwnCopyAppliedToNewObject)
{
    CAceList list;
    list.AddAllowed(AdministratorsSid(), GENERIC_ALL);
    CSecurityDescriptorHolder descriptor;
    descriptor.SetDacl(list, false);

    CSecurityAttributes attributes;
    attributes.Set(descriptor, true);
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes.nLength);
    EXPECT_TRUE(attributes.bInheritHandle);
    ASSERT_NE(nullptr, attributes.lpSecurityDescriptor);
    EXPECT_NE(descriptor.Get(), attributes.lpSecurityDescriptor);
    descriptor.Release();

    HANDLE event = CreateEventA(&attributes, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(event, &flags));
    EXPECT_EQ((DWORD)HANDLE_FLAG_INHERIT, flags & HANDLE_FLAG_INHERIT);
    std::vector<BYTE> dacl = ObjectDaclBytes(event, SE_KERNEL_OBJECT);
    CloseHandle(event);
    std::vector<AceFacts> aces = ReadAces(dacl.empty() ? nullptr : (ACL*)dacl.data());
    ASSERT_EQ(1u, aces.size());
    EXPECT_EQ("S-1-5-32-544", aces[0].sid);
}

// The one entry "D:(A;OICI;GA;;;AU)", read back from the object.
static void ExpectSharedObjectDacl(HANDLE object)
{
    std::vector<BYTE> dacl = ObjectDaclBytes(object, SE_KERNEL_OBJECT);
    ASSERT_FALSE(dacl.empty());
    std::vector<AceFacts> aces = ReadAces((ACL*)dacl.data());
    ASSERT_EQ(1u, aces.size());
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[0].type);
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, aces[0].flags);
    EXPECT_EQ("S-1-5-11", aces[0].sid);
    // The system may store GENERIC_ALL mapped to the object's own rights.
    GENERIC_MAPPING eventMapping = {STANDARD_RIGHTS_READ | EVENT_MODIFY_STATE,
                                    STANDARD_RIGHTS_WRITE | EVENT_MODIFY_STATE,
                                    STANDARD_RIGHTS_EXECUTE | SYNCHRONIZE, EVENT_ALL_ACCESS};
    DWORD mask = aces[0].mask;
    MapGenericMask(&mask, &eventMapping);
    EXPECT_EQ((DWORD)EVENT_ALL_ACCESS, mask) << std::hex << aces[0].mask;
}

TEST(SharedObjectDacl, GrantsAuthenticatedUsersEvenWithoutReadAccess)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    SetSharedObjectDacl(event, SE_KERNEL_OBJECT);
    ExpectSharedObjectDacl(event);

    // A handle that may change the DACL but not read the current one.
    HANDLE other = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeOnly = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), other, GetCurrentProcess(), &writeOnly,
                                WRITE_DAC, FALSE, 0));
    SetSharedObjectDacl(writeOnly, SE_KERNEL_OBJECT);
    ExpectSharedObjectDacl(other);
    CloseHandle(writeOnly);
    CloseHandle(other);
    CloseHandle(event);
}
