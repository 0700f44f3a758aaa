// The bypass keys: the combination of Alt, Ctrl and Shift that, held while a
// link is opened, starts the browser unrestricted.
#pragma once

#include <windows.h>

// KEY is the "Key" setting: byte 0 is 0x12 for Alt, byte 1 0x11 for Ctrl,
// byte 2 0x10 for Shift, each 0 when not chosen. True when exactly the
// chosen keys are held in the calling thread's keyboard state.
bool BypassKeysHeld(DWORD key);
