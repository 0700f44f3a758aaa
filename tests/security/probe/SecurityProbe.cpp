// A separate program for the security tests, for what one test process
// cannot show by itself:
//
//   security_probe gate REPORT CAPACITY COMMAND...
//       RunRestricted(COMMAND) with a status buffer of CAPACITY characters,
//       under whatever Windows version Wine gives this program's name;
//       writes what it saw to REPORT (one fact a line).
//   security_probe lock CAPTION
//       LockComServerKey for product CAPTION, then ends without restoring,
//       as a crashed Quillet would.
#include "programwide/LauncherState.h"
#include "security/ComServerKeyGuard.h"
#include "security/RestrictedLauncher.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static const DWORD sentinel = 0xdeadbeef;

// The command line after its first COUNT words, quotes kept as written.
static std::string CommandAfterWords(int count)
{
    const char* text = GetCommandLineA();
    for (int i = 0; i < count; ++i) {
        while (*text == ' ' || *text == '\t')
            ++text;
        bool quoted = false;
        for (; *text && (quoted || (*text != ' ' && *text != '\t')); ++text)
            if (*text == '"')
                quoted = !quoted;
    }
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

static int Gate(const char* reportPath, DWORD capacity, std::string command)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    char message[256];
    memset(message, 'x', sizeof message);
    DWORD threadId = sentinel;
    HANDLE process = (HANDLE)(ULONG_PTR)sentinel, thread = (HANDLE)(ULONG_PTR)sentinel;
    SetLastError(0xdeadbeef);  // a stale error must not become the result
    DWORD result = RunRestricted(nullptr, &command[0], message, capacity, &threadId,
                                 &process, &thread);
    bool started = process != (HANDLE)(ULONG_PTR)sentinel;
    if (started)
        ResumeThread(thread);
    DWORD exitCode = STILL_ACTIVE;
    if (started && WaitForSingleObject(process, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &exitCode);
    FILE* report = fopen(reportPath, "wb");
    if (!report)
        return 3;
    fprintf(report, "version %lu.%lu\nresult %lu\nmessage %.255s\n", version.dwMajorVersion,
            version.dwMinorVersion, result, message);
    fprintf(report, "thread %s\nprocess %s\nthreadhandle %s\nexit %lu\n",
            threadId == sentinel ? "untouched" : "set", started ? "set" : "untouched",
            thread == (HANDLE)(ULONG_PTR)sentinel ? "untouched" : "set", exitCode);
    fclose(report);
    if (started) {
        CloseHandle(process);
        CloseHandle(thread);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 5 && strcmp(argv[1], "gate") == 0)
        return Gate(argv[2], strtoul(argv[3], nullptr, 10), CommandAfterWords(4));
    if (argc == 3 && strcmp(argv[1], "lock") == 0) {
        snprintf(g_launcher.productCaption, sizeof g_launcher.productCaption, "%s", argv[2]);
        LockComServerKey();
        TerminateProcess(GetCurrentProcess(), 9);
    }
    return 2;
}
