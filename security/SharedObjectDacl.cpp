#include "security/SharedObjectDacl.h"

#include "common/AtlException.h"
#include "common/UniqueHandle.h"
#include "security/AceList.h"
#include "security/SecurityDescriptorHolder.h"
#include "security/SidHolder.h"

#include <sddl.h>

// Authenticated Users, restricted tokens included, get full access.
static const char sharedObjectSddl[] = "D:(A;OICI;GA;;;AU)";

// The DACL of DESCRIPTOR as a list: absent gives an empty list, present
// without an ACL a null one.
static void ReadDacl(PSECURITY_DESCRIPTOR descriptor, CAceList& list)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        ThrowLastError();
    if (!present)
        list.RemoveAll();
    else if (dacl)
        list.CopyFromAcl(dacl);
    else
        list.SetNull();
}

// A restricted browser keeps Authenticated Users but has Administrators for
// denying only: it gets SECTION_QUERY | SECTION_MAP_READ | READ_CONTROL and
// nothing it could use to rewrite the block.
static const char readOnlyMappingSddl[] = "D:(A;;0xF001F;;;SY)(A;;0xF001F;;;BA)(A;;0x20005;;;AU)";

static void SetDaclFromText(HANDLE handle, SE_OBJECT_TYPE type, const char* sddl)
{
    PSECURITY_DESCRIPTOR converted = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                              &converted, nullptr))
        ThrowLastError();
    unique_hlocal convertedOwner(converted);
    CSecurityDescriptorHolder descriptor;
    descriptor.CopyFrom(converted);

    CAceList list;
    ReadDacl(descriptor.Get(), list);
    // Nothing is read from the object first: the new DACL replaces whatever
    // it had, even when its current security cannot be read. A failure
    // leaves the creator's default DACL, which grants less, not more.
    SetSecurityInfo(handle, type, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                    const_cast<ACL*>(list.BuildAcl()), nullptr);
}

void SetSharedObjectDacl(HANDLE handle, SE_OBJECT_TYPE type)
{
    SetDaclFromText(handle, type, sharedObjectSddl);
}

// The owner may always rewrite the DACL: the mapping goes to Administrators
// (whom the restricted browser has for denying only) where the creator may
// give it to them, and stays the creator's otherwise.
void SetReadOnlySharedMappingDacl(HANDLE mapping)
{
    SetDaclFromText(mapping, SE_KERNEL_OBJECT, readOnlyMappingSddl);
    CSidHolder administrators = AdministratorsSid();
    SetSecurityInfo(mapping, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, administrators.Sid(), nullptr, nullptr,
                    nullptr);
}
