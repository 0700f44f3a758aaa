#include "launcher/StartDecision.h"

#include "launcher/BypassKeys.h"
#include "launcher/LauncherState.h"
#include "launcher/SettingsStore.h"

StartChoice DecideStart(const StartFlags& flags)
{
    DWORD key = 0;
    ReadSetting("Key", key);
    bool bypass = BypassKeysHeld(key);
    g_launcher.runRestricted = 1;
    if (bypass) {
        g_launcher.runRestricted = 0;
        return StartChoice::Unrestricted;
    }
    if (flags.browserStart || flags.noSplash)
        return StartChoice::Protected;
    return g_launcher.runRestricted ? StartChoice::Protected : StartChoice::Unrestricted;
}
