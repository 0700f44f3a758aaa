// The yardstick of the launch benchmark: the simplest restricted launcher a
// user could pick instead of Quillet. It makes Quillet's own restricted
// token, starts its command line with it, checks the started process's token
// as Quillet does before the process runs, and waits for it to end; it has
// no window, no hooks and no key lock. Exit code 0 when the command ran and
// ended, 1 when it could not start, 2 when its token failed the check (it
// is then ended before it ran).
#include "common/UniqueHandle.h"
#include "security/ProtectedTokenCheck.h"
#include "security/RestrictedLauncher.h"

#include <windows.h>

#include <cstring>
#include <vector>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    std::vector<char> writable(commandLine, commandLine + std::strlen(commandLine) + 1);
    char status[256] = {};
    DWORD threadId = 0;
    HANDLE process = nullptr, thread = nullptr;
    if (RunRestricted(nullptr, writable.data(), status, sizeof status, &threadId, &process, &thread) != 0)
        return 1;
    unique_handle processOwner(process), threadOwner(thread);
    ProtectedTokenVerdict verdict;
    if (!ResumeIfProtected(process, thread, verdict))
        return 2;
    WaitForSingleObject(process, INFINITE);
    return 0;
}
