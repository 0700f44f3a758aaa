#include "tests/support/TestProcess.h"

#include <vector>

namespace {
const DWORD kKilledExitCode = 0xDEAD;
}

TestProcess::~TestProcess()
{
    if (!process_)
        return;
    Kill();
    CloseHandle(process_);
}

bool TestProcess::Start(const std::string& commandLine, DWORD creationFlags)
{
    if (process_)
        return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    // CreateProcessA may write into its command line.
    std::vector<char> text(commandLine.begin(), commandLine.end());
    text.push_back('\0');
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    id_ = started.dwProcessId;
    threadId_ = started.dwThreadId;
    return true;
}

bool TestProcess::Wait(DWORD timeoutMs)
{
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD TestProcess::WaitOrKill(DWORD timeoutMs)
{
    if (!Wait(timeoutMs))
        Kill();
    return ExitCode();
}

void TestProcess::Kill()
{
    if (process_ && Running()) {
        TerminateProcess(process_, kKilledExitCode);
        WaitForSingleObject(process_, 5000);
    }
}

bool TestProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD TestProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

DWORD RunProcess(const std::string& commandLine, DWORD timeoutMs)
{
    TestProcess process;
    if (!process.Start(commandLine))
        return ~0u;
    return process.WaitOrKill(timeoutMs);
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}
