// Reading a started browser's token back from the system before the browser
// runs its first instruction: is it really the restricted token?
#pragma once

#include <windows.h>
#include <string>

struct ProtectedTokenVerdict {
    // BUILTIN\Administrators is there for denying only (or not at all), and
    // no restricting SID was added.
    bool verified = false;
    // Why it is not, for the log; empty when verified.
    std::string reason;
    // Privileges the token keeps beside SeChangeNotifyPrivilege, separated
    // by blanks. Windows leaves none; they do not decide the verdict.
    std::string extraPrivileges;
    // The system gave no answer about restricting SIDs (Wine); reported.
    bool restrictingSidsUnanswered = false;
};

ProtectedTokenVerdict CheckProtectedToken(HANDLE token);
// The same for the primary token of PROCESS.
ProtectedTokenVerdict CheckProtectedProcess(HANDLE process);
