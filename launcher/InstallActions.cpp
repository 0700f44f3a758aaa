#include "launcher/InstallActions.h"

#include "associations/AssociationManager.h"
#include "associations/SystemVersion.h"
#include "programwide/LauncherState.h"
#include "programwide/SettingsStore.h"
#include "security/ComServerKeyGuard.h"

#include <shlwapi.h>

#include <string>

namespace {

// The entry fills the module path first thing; a caller that comes here
// without it still gets the running module.
const char* ModulePath()
{
    if (g_launcher.modulePath[0] == '\0')
        GetModuleFileNameA(nullptr, g_launcher.modulePath, sizeof g_launcher.modulePath - 1);
    return g_launcher.modulePath;
}

std::string ModuleDirectoryFile(const char* name)
{
    const char* path = ModulePath();
    return std::string(path, PathFindFileNameA(path) - path) + name;
}

// Takes the roots over, or goes on with a takeover that an ended run began,
// and tells whether every handler is wrapped now. False without changes
// when the save area cannot be written.
bool TakeOver(AssociationManager& manager, const char* program, const char* product)
{
    bool windows2000 = IsWindows2000();
    manager.SaveBrowser(program, product, HKEY_CURRENT_USER);
    if (windows2000)
        manager.SaveBrowser(program, product, HKEY_LOCAL_MACHINE);
    if (!manager.IsTakenOver(program, product, HKEY_CURRENT_USER))
        return false;
    if (manager.FindAssociationFault(program, product, HKEY_CURRENT_USER, AfterTakeover))
        return false;
    return !windows2000 || !manager.IsTakenOver(program, product, HKEY_LOCAL_MACHINE) ||
           !manager.FindAssociationFault(program, product, HKEY_LOCAL_MACHINE, AfterTakeover);
}

} // namespace

int InstallAction()
{
    const char* program = ModulePath();
    const char* product = g_launcher.productCaption;
    AssociationManager manager;
    std::string log = ModuleDirectoryFile("ErrorBrowser.log");
    DeleteFileA(log.c_str());
    manager.SetLogFile(log.c_str());

    // A save area means a takeover began: its handlers are wrapped in part
    // or in whole, and the check for the browser alone would refuse them.
    if (!manager.IsTakenOver(program, product, HKEY_CURRENT_USER)) {
        bool fault = manager.FindAssociationFault(program, product, HKEY_CURRENT_USER, BeforeTakeover);
        manager.RunErrorTest(program, product, HKEY_CURRENT_USER, BeforeTakeover);
        if (!fault)
            fault = manager.FindAssociationFault(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover);
        manager.RunErrorTest(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover);
        if (fault)
            return kInstallRefused;
    }
    if (!TakeOver(manager, program, product))
        return kInstallRefused;
    // Shift becomes the bypass key of a fresh installation.
    DWORD key = 0;
    ReadSetting("Key", key);
    if (key == 0)
        WriteSetting("Key", 0x100000);
    return kInstallDone;
}

int UninstallAction()
{
    const char* program = ModulePath();
    const char* product = g_launcher.productCaption;
    AssociationManager manager;
    // A crashed run's record of the COM-server key goes back on the key
    // before the setup removes the product's keys; the exit code stays the
    // links' own.
    RestoreUnheldKeyLock();
    // Each root is asked on its own: an uninstall ended between the two
    // roots has given the per-user one back already. Asking first also keeps
    // the restore from creating a machine-wide product key no takeover made.
    bool user = manager.IsTakenOver(program, product, HKEY_CURRENT_USER);
    bool machine = IsWindows2000() && manager.IsTakenOver(program, product, HKEY_LOCAL_MACHINE);
    if (!user && !machine)
        return kUninstallNotInstalled;
    bool incomplete = false;
    if (user) {
        manager.RestoreAssociations(program, product, HKEY_CURRENT_USER);
        incomplete = manager.RestoreIncomplete();
    }
    if (machine) {
        manager.RestoreAssociations(program, product, HKEY_LOCAL_MACHINE);
        incomplete = incomplete || manager.RestoreIncomplete();
    }
    // A key that could not be given back is not reported as success, nor as
    // "not installed": its saved copy stays for the next uninstall.
    return incomplete ? kUninstallIncomplete : kUninstallRestored;
}
