#include "launcher/StartDecision.h"

#include "launcher/BypassKeys.h"
#include "programwide/LauncherState.h"
#include "programwide/SettingsStore.h"
#include "ui/Dialogs.h"
#include "ui/resource.h"

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
    DWORD runShow = 5;
    ReadSetting("RunShow", runShow);
    if (runShow == 5 && !flags.embedding) {
        // The dialog's non-secure choice clears runRestricted.
        INT_PTR result =
            DialogBoxParamA(g_launcher.instance, MAKEINTRESOURCEA(IDD_STARTUP), nullptr, StartupDialogProc, 0);
        if (result == IDCANCEL)
            return StartChoice::Cancelled;
    }
    return g_launcher.runRestricted ? StartChoice::Protected : StartChoice::Unrestricted;
}
