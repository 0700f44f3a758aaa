// Locks one COM-server registration key of the local machine to the
// Administrators group while Quillet runs, and puts its old DACL back.
#pragma once

#include <windows.h>

void LockComServerKey();
void RestoreComServerKey();

bool SaveKeySecurity(int index, PSECURITY_DESCRIPTOR descriptor);
bool LoadKeySecurity(int index, PSECURITY_DESCRIPTOR* descriptor);
bool HasSavedKeySecurity(int index);
void DeleteSavedKeySecurity(int index);
