#include "launcher/Entry.h"

#include "launcher/CommandLineSwitches.h"
#include "launcher/DiagnosticLog.h"
#include "launcher/LauncherState.h"
#include "launcher/ProductCaption.h"
#include "launcher/SettingsStore.h"
#include "launcher/StartDecision.h"
#include "launcher/UnrestrictedStart.h"

#include <shlwapi.h>
#include <string>

namespace {

void BindHookLog()
{
    DWORD log = 0;
    ReadSetting("Log", log);
    if (log != 1)
        return;
    std::string path(g_launcher.modulePath, PathFindFileNameA(g_launcher.modulePath));
    hookLog.SetFile((path + "HookWnd.log").c_str());
}

} // namespace

void InitialiseLauncherState(HINSTANCE instance)
{
    g_launcher.instance = instance;
    ZeroMemory(g_launcher.modulePath, sizeof g_launcher.modulePath);
    GetModuleFileNameA(instance, g_launcher.modulePath, sizeof g_launcher.modulePath - 1);
    LoadProductCaption(instance, g_launcher.modulePath, g_launcher.productCaption,
                       sizeof g_launcher.productCaption);
    BindHookLog();
}

int RunQuillet(HINSTANCE instance, const char* commandLine)
{
    InitialiseLauncherState(instance);
    g_launcher.receivedCommandLine = commandLine;
    g_launcher.commandLine = commandLine;
    launchTrace.WriteRaw("    ");
    launchTrace.WriteFormat("_tWinMain -> %s", commandLine);

    StartFlags flags;
    CommandLineSwitches switches = TakeSwitches(g_launcher.commandLine);
    flags.noSplash = switches.noSplash;
    flags.embedding = switches.embedding;
    if (switches.noCaption)
        g_launcher.noCaption = 1;

    switch (DecideStart(flags)) {
    case StartChoice::Unrestricted:
        RunUnrestricted();
        return 0;
    case StartChoice::Protected:
    case StartChoice::Cancelled:
        break;
    }
    return 0;
}
