// Whose a named kernel object is. The names of the hand-off objects are
// fixed, so any process of the desktop, the protected browser's included,
// could create one of them before an instance of Quillet does.
#pragma once

#include <windows.h>

// True when the object's owner is BUILTIN\Administrators or SYSTEM, which
// a token with Administrators for denying only cannot make an owner; or,
// for a user without Administrators, that user, whose objects keep their
// creator as owner. False when the owner cannot be read.
bool HasTrustedOwner(HANDLE object);

// For the hand-off mutex: full access for SYSTEM and Administrators (and
// for the user when the user has no Administrators to open it with), owner
// Administrators where the creator may give it to them. Throws
// CAtlException when the DACL cannot be built.
void SetHandOffMutexSecurity(HANDLE mutex);
