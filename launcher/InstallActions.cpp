#include "launcher/InstallActions.h"

#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"
#include "associations/SystemVersion.h"
#include "programwide/LauncherState.h"
#include "programwide/LogPlace.h"
#include "programwide/SettingsStore.h"
#include "security/ComServerKeyGuard.h"


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

// Takes the roots over, or goes on with a takeover that an ended run began,
// and tells whether every item is Quillet's now or left to the program the
// user chose since. False without changes when the per-user save area
// cannot be made: the machine-wide root is then not taken either.
bool TakeOver(AssociationManager& manager, const char* program, const char* product)
{
    if (!manager.SaveBrowser(program, product, HKEY_CURRENT_USER))
        return false;
    bool done = manager.IsTakeoverComplete(program, product, HKEY_CURRENT_USER);
    if (!IsWindows2000())
        return done;
    // Without a machine-wide save area the per-user takeover stands; that
    // is all a limited user gets, and a failure for anyone else.
    if (!manager.SaveBrowser(program, product, HKEY_LOCAL_MACHINE))
        return done && !CanWriteMachineKeys();
    return done && manager.IsTakeoverComplete(program, product, HKEY_LOCAL_MACHINE);
}

// Windows 2000's machine-wide takeover, which every user shares; other
// versions leave the machine-wide root alone.
bool IsMachineRootTakenOver(AssociationManager& manager, const char* program, const char* product)
{
    return IsWindows2000() && manager.IsTakenOver(program, product, HKEY_LOCAL_MACHINE);
}

// A machine-wide takeover without the user's own is also what another
// user's takeover leaves for a user who gave theirs back, or never had one:
// a limited user, who cannot write it, takes their own over beside it.
bool FinishMachineRestore(AssociationManager& manager, const char* program, const char* product)
{
    if (!IsMachineRootTakenOver(manager, program, product) ||
        manager.IsTakenOver(program, product, HKEY_CURRENT_USER) || !CanWriteMachineKeys())
        return true;
    manager.RestoreAssociations(program, product, HKEY_LOCAL_MACHINE);
    return !manager.RestoreIncomplete();
}

// The check before a takeover: the handlers are Internet Explorer's alone.
// On Windows 2000 a machine-wide root that other users' takeover holds is
// Quillet's already; the takeover that follows judges it.
bool IsBrowserAlone(AssociationManager& manager, const char* program, const char* product)
{
    bool fault = manager.FindAssociationFault(program, product, HKEY_CURRENT_USER, BeforeTakeover);
    manager.RunErrorTest(program, product, HKEY_CURRENT_USER, BeforeTakeover);
    if (IsMachineRootTakenOver(manager, program, product))
        return !fault;
    if (!fault)
        fault = manager.FindAssociationFault(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover);
    manager.RunErrorTest(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover);
    return !fault;
}

// Shift becomes the bypass key of a fresh installation, before its first
// change: a takeover ended and finished later keeps the same settings as
// one run through, and a later run never resets the user's choice.
void WriteFreshBypassKey()
{
    DWORD key = 0;
    ReadSetting("Key", key);
    if (key == 0)
        WriteSetting("Key", 0x100000);
}

} // namespace

int InstallAction()
{
    const char* program = ModulePath();
    const char* product = g_launcher.productCaption;
    AssociationManager manager;
    manager.SetLogFile(BeginLogFile("ErrorBrowser.log").c_str());

    // An uninstall ended on Windows 2000 after it gave the per-user root
    // back leaves the machine-wide one half given back; the per-user
    // takeover copies its keys, so that restore is finished first.
    if (!FinishMachineRestore(manager, program, product))
        return kInstallRefused;
    // A save area means a takeover began: its handlers are wrapped in part
    // or in whole, and the check for the browser alone would refuse them.
    if (!manager.IsTakenOver(program, product, HKEY_CURRENT_USER)) {
        if (!IsBrowserAlone(manager, program, product))
            return kInstallRefused;
        WriteFreshBypassKey();
    }
    if (!TakeOver(manager, program, product))
        return kInstallRefused;
    return kInstallDone;
}

int UninstallAction(UninstallScope scope)
{
    const char* program = ModulePath();
    const char* product = g_launcher.productCaption;
    AssociationManager manager;
    // A crashed run's record of the COM-server key goes back on the key
    // before the setup removes the product's keys; the exit code stays the
    // links' own.
    RestoreUnheldKeyLock();
    // What could not be given back, and what another program holds now, go
    // after the lines of the install, which began the file afresh.
    manager.SetLogFile(CurrentLogFile("ErrorBrowser.log").c_str());
    // Each root is asked on its own: an uninstall ended between the two
    // roots has given the per-user one back already. Asking first also keeps
    // the restore from creating a machine-wide product key no takeover made.
    bool user = manager.IsTakenOver(program, product, HKEY_CURRENT_USER);
    bool machine = scope == UninstallScope::EveryRoot && IsMachineRootTakenOver(manager, program, product);
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
