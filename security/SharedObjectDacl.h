// Gives a named kernel object the DACL "D:(A;OICI;GA;;;AU)", so that
// processes of the same user, restricted or not, can open it.
#pragma once

#include <windows.h>
#include <aclapi.h>

// Throws CAtlException when the DACL text cannot be converted.
void SetSharedObjectDacl(HANDLE handle, SE_OBJECT_TYPE type);

// For a file mapping that only its creator writes (HookSharedBlock):
// Authenticated Users, restricted tokens included, may map it for reading
// only; Administrators and SYSTEM keep full access. Throws like the above.
void SetReadOnlySharedMappingDacl(HANDLE mapping);
