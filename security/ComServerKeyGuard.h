// Locks one COM-server registration key of the local machine to the
// Administrators group while Quillet runs, and puts its old DACL back.
#pragma once

#include <windows.h>

void LockComServerKey();
void RestoreComServerKey();

// For an uninstall: puts a crashed run's snapshot back on the key and
// removes it, unless a running instance still holds the lock. False when a
// snapshot was there and could not be given back (it stays, and is logged).
bool RestoreUnheldKeyLock();

bool SaveKeySecurity(int index, PSECURITY_DESCRIPTOR descriptor);
bool LoadKeySecurity(int index, PSECURITY_DESCRIPTOR* descriptor);
bool HasSavedKeySecurity(int index);
void DeleteSavedKeySecurity(int index);
