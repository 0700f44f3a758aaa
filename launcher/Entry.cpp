#include "launcher/Entry.h"

#include "associations/BrowserDiscovery.h"
#include "launcher/CommandLineSwitches.h"
#include "launcher/FirstInstance.h"
#include "launcher/InstallActions.h"
#include "launcher/ProductCaption.h"
#include "launcher/QuotedProgramPath.h"
#include "launcher/StartDecision.h"
#include "launcher/UnrestrictedStart.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "programwide/LogPlace.h"
#include "programwide/SettingsStore.h"
#include "ui/Dialogs.h"
#include "ui/resource.h"

#include <string>

namespace {

void BindHookLog()
{
    DWORD log = 0;
    ReadSetting("Log", log);
    if (log != 1)
        return;
    hookLog.SetFile(CurrentLogFile("HookWnd.log").c_str());
}

// An empty command line opens the settings dialog. True when its web link
// was followed: commandLine then holds the browser and the link's target.
bool RunSettingsDialog()
{
    if (DialogBoxParamA(g_launcher.instance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, SettingsDialogProc, 0) != 0)
        return false;
    std::string browser;   // left empty when the setup record is missing
    LocateBrowserFromSetup(browser);
    g_launcher.commandLine = QuotedProgramPath(browser) + " " + g_launcher.commandLine;
    return true;
}

// Module path, product caption and the hook log when "Log" is exactly 1.
void InitialiseLauncherState(HINSTANCE instance)
{
    g_launcher.instance = instance;
    ZeroMemory(g_launcher.modulePath, sizeof g_launcher.modulePath);
    GetModuleFileNameA(instance, g_launcher.modulePath, sizeof g_launcher.modulePath - 1);
    LoadProductCaption(instance, g_launcher.modulePath, g_launcher.productCaption,
                       sizeof g_launcher.productCaption);
    BindHookLog();
}

} // namespace

int RunQuillet(HINSTANCE instance, const char* commandLine)
{
    InitialiseLauncherState(instance);
    g_launcher.receivedCommandLine = commandLine;
    g_launcher.commandLine = commandLine;
    launchTrace.WriteRaw("    ");
    launchTrace.WriteFormat("_tWinMain -> %s", commandLine);

    StartFlags flags;
    if (g_launcher.commandLine.empty()) {
        if (!RunSettingsDialog())
            return 0;
        flags.browserStart = true;
    }
    CommandLineSwitches switches = TakeSwitches(g_launcher.commandLine);
    flags.noSplash = switches.noSplash;
    flags.embedding = switches.embedding;
    if (switches.install)
        return InstallAction();
    if (switches.uninstall)
        return UninstallAction(switches.userOnly ? UninstallScope::RunningUser : UninstallScope::EveryRoot);
    if (switches.noCaption)
        g_launcher.noCaption = 1;

    switch (DecideStart(flags)) {
    case StartChoice::Unrestricted:
        RunUnrestricted();
        return 0;
    case StartChoice::Protected:
        return RunFirstInstance();
    case StartChoice::Cancelled:
        break;
    }
    return 0;
}
