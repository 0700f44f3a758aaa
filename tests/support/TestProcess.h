// Starting a program from a test: wait with a time limit, read its exit
// code, and never leave it running (the owner kills it when it goes).
#pragma once

#include <windows.h>

#include <string>

class TestProcess {
public:
    TestProcess() = default;
    ~TestProcess();  // kills the process if it still runs

    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    // CreateProcessA of COMMANDLINE (no application name, no inherited
    // handles). False with GetLastError() set when it could not start.
    bool Start(const std::string& commandLine, DWORD creationFlags = 0);

    // True when the process ended within TIMEOUTMS.
    bool Wait(DWORD timeoutMs);
    // Waits, and kills the process if it has not ended in time; the exit
    // code then is 0xDEAD. Returns the exit code (STILL_ACTIVE if none).
    DWORD WaitOrKill(DWORD timeoutMs);
    void Kill();

    bool Running() const;
    DWORD ExitCode() const;  // STILL_ACTIVE while it runs
    DWORD Id() const { return id_; }
    DWORD ThreadId() const { return threadId_; }
    HANDLE Handle() const { return process_; }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    DWORD threadId_ = 0;
};

// Runs COMMANDLINE to its end (killed after TIMEOUTMS) and returns its exit
// code; 0xDEAD when killed, ~0u when it could not start.
DWORD RunProcess(const std::string& commandLine, DWORD timeoutMs);

// Polls CONDITION every 10 ms for at most TIMEOUTMS, pumping this thread's
// messages meanwhile; true as soon as it holds.
template <typename Condition>
bool WaitUntil(DWORD timeoutMs, Condition condition)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(10);
    }
}

// Quotes PATH for a command line.
std::string Quoted(const std::string& path);
