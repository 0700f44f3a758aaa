#include "marking/InstanceEnd.h"

#include "programwide/LauncherState.h"

#include <windows.h>

namespace {

// Set only around the call that delivers the decision. A message sent to a
// window of the same thread is a direct call of its procedure: no other
// message (posted, or sent by another thread) can be handled in between.
bool s_deciding = false;

}  // namespace

void EndInstance()
{
    s_deciding = true;
    SendMessageA(g_launcher.mainWindow, WM_DESTROY, 0, 0);
    s_deciding = false;
}

void DestroyMainWindow()
{
    s_deciding = true;
    DestroyWindow(g_launcher.mainWindow);
    s_deciding = false;
}

bool TakeEndDecision()
{
    bool decided = s_deciding;
    s_deciding = false;
    return decided;
}
