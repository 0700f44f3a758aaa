// "IsCloseModule": waits until no running process has a module loaded, so
// that the installer can replace the file.
#include "setuphelper/PellowExports.h"

#include "setuphelper/GrowOrThrow.h"
#include "setuphelper/MultibyteText.h"
#include "setuphelper/ToolhelpWalk.h"

namespace {

// TARGET is an upper-case file name or path; a module matches when its
// name occurs in it, so a full path matches the module of that file name.
bool ProcessHasModule(DWORD processId, const std::string& target)
{
    return WalkModules(processId, [&target](const MODULEENTRY32& module) {
        return ContainsAnsi(target.c_str(), UpperCaseAnsi(module.szModule).c_str());
    });
}

bool AnyProcessHasModule(const std::string& target)
{
    return WalkProcesses([&target](const PROCESSENTRY32& process) {
        return ProcessHasModule(process.th32ProcessID, target);
    });
}

BOOL WaitForModuleClose(LPCSTR moduleName, DWORD timeLimit)
{
    std::string target = UpperCaseAnsi(moduleName);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeLimit) {
        if (!AnyProcessHasModule(target))
            return TRUE;
        // Nudges every top-level window: a program idling in its message
        // loop wakes up and can finish closing.
        SendNotifyMessageA(HWND_BROADCAST, WM_QUEUESYNC, 0, 0);
    }
    return FALSE;
}

}  // namespace

extern "C" BOOL WINAPI IsCloseModule(LPCSTR moduleName, DWORD timeLimit)
{
    if (!moduleName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return GuardExport(FALSE, [=] { return WaitForModuleClose(moduleName, timeLimit); });
}
