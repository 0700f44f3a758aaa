// The instances that hold the COM-server key's lock, counted in values of
// the Lock key beside the snapshot "SaveSD0": one value per holder, named
// "Holder" and its process id in 8 upper-case hex digits, holding the
// process's creation time (a FILETIME, REG_BINARY), so that a holder that
// died, or whose id another process has taken since, is told from a live
// one. The setup's uninstaller removes the Lock key only without "SaveSD0".
#pragma once

#include <windows.h>

// Removes the values of dead holders from KEY and counts the live ones.
int CountLiveHolders(HKEY key);
// This process as a holder; false when the value cannot be written.
bool AddOwnHolder(HKEY key);
void RemoveOwnHolder(HKEY key);
