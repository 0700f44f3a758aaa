#include "launcher/UnrestrictedStart.h"

#include "associations/BrowserDiscovery.h"
#include "common/UniqueHandle.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "ui/LaunchWarning.h"
#include "ui/resource.h"

#include <string>
#include <vector>

namespace {

bool StartProcess(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    // CreateProcessA may write into the command line it is given.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, &started))
        return false;
    unique_handle process(started.hProcess);
    unique_handle thread(started.hThread);
    return true;
}

} // namespace

void RunUnrestricted()
{
    launchTrace.WriteFormat("Run no restricted -> %s", g_launcher.commandLine.c_str());
    if (StartProcess(g_launcher.commandLine))
        return;
    launchTrace.WriteFormat("Run -> %s", g_launcher.commandLine.c_str());
    // The handler the takeover replaced may still take the text.
    std::string browser;
    if (!ReadSavedBrowserCommand(g_launcher.productCaption, browser)) {
        ShowLaunchWarning(IDS_INVALID_APPLICATION, g_launcher.receivedCommandLine);
        return;
    }
    std::string command = browser + " " + g_launcher.commandLine;
    if (StartProcess(command))
        return;
    launchTrace.WriteFormat("Run old browser restricted -> %s", command.c_str());
    ShowLaunchWarning(IDS_INVALID_APPLICATION, g_launcher.commandLine);
}
