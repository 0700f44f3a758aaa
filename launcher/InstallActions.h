// "-INSTALL " and "-UNINSTALL ": the association takeover and its undoing.
// Their results are the process's exit codes, which installers rely on.
#pragma once

enum InstallResult {
    kInstallDone = 0,      // every handler is wrapped (now or already)
    kInstallRefused = 1,   // the handlers are not Internet Explorer alone, the save area cannot be
                           // written, or a takeover begun before could not wrap every handler
};

enum UninstallResult {
    kUninstallRestored = 0,      // every key given back, the save area gone
    kUninstallNotInstalled = 1,  // no takeover recorded
    kUninstallIncomplete = 2,    // a saved copy could not be put back; the save area is kept
};

// On Windows 2000 the machine-wide takeover is shared by every user whose
// links run Quillet: only the last of them gives it back.
enum class UninstallScope {
    EveryRoot,    // the running user's links, and the machine-wide ones on Windows 2000
    RunningUser,  // the running user's alone: other users' takeovers still need the machine-wide one
};

int InstallAction();
int UninstallAction(UninstallScope scope = UninstallScope::EveryRoot);
