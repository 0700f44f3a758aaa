// The instance's own decision to end. A posted or sent message carries no
// sender: a WM_DESTROY, WM_CLOSE or Exit command may come from any process
// on the desktop, the protected browser's included. Only a WM_DESTROY sent
// through here (or by the window's own DestroyWindow) shuts the instance
// down and gives the COM-server key back.
#pragma once

// Sends WM_DESTROY to the main window as the instance's own decision. Runs
// the shutdown before it returns, also inside a hand-off's SendMessage.
void EndInstance();

// DestroyWindow of the main window as the instance's own decision.
void DestroyMainWindow();

// True once for the WM_DESTROY that EndInstance or DestroyMainWindow is
// delivering; false for every other.
bool TakeEndDecision();
