// Reading a started browser's token back from the system before the browser
// runs its first instruction: is it really the restricted token?
#pragma once

#include <windows.h>
#include <string>

struct ProtectedTokenVerdict {
    // BUILTIN\Administrators is there for denying only (or not at all), no
    // privilege but SeChangeNotifyPrivilege is left, and no restricting SID
    // was added.
    bool verified = false;
    // Why it is not, for the log; empty when verified.
    std::string reason;
    // The system gave no answer about restricting SIDs (Wine); reported.
    bool restrictingSidsUnanswered = false;
};

ProtectedTokenVerdict CheckProtectedToken(HANDLE token);
// The same for the primary token of PROCESS.
ProtectedTokenVerdict CheckProtectedProcess(HANDLE process);

// For a process created suspended: resumes THREAD only when the token of
// PROCESS passes the check; otherwise ends the process, waits for its end
// and is false with REASON (which also says when it could not be ended).
// Never throws: a check that fails in itself refuses the start.
bool ResumeIfProtected(HANDLE process, HANDLE thread, ProtectedTokenVerdict& verdict);
