#include "security/KeyLockHolders.h"

#include "common/UniqueHandle.h"
#include "programwide/DiagnosticLog.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

// With fast user switching every session runs an instance of its own, and
// all of them share the one snapshot: only the last holder gives the key
// back.
static const char holderPrefix[] = "Holder";

static std::string HolderValueName(DWORD processId)
{
    char name[32];
    snprintf(name, sizeof name, "%s%08X", holderPrefix, (unsigned)processId);
    return name;
}

static bool ProcessCreationTime(HANDLE process, FILETIME& created)
{
    FILETIME exited, kernel, user;
    return GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
}

// A holder whose process ended, or whose id another process has taken
// since, is dead. A process that cannot be asked (another user's) counts
// as alive: the key stays locked rather than open under a running browser.
static bool IsLiveHolder(const char* name, const FILETIME& recorded)
{
    char* end = nullptr;
    DWORD processId = strtoul(name + sizeof holderPrefix - 1, &end, 16);
    if (strlen(name) != sizeof holderPrefix - 1 + 8 || *end != '\0')
        return false;
    unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    FILETIME created = {};
    DWORD exitCode = 0;
    return ProcessCreationTime(process.get(), created) && CompareFileTime(&created, &recorded) == 0 &&
           GetExitCodeProcess(process.get(), &exitCode) && exitCode == STILL_ACTIVE;
}

// A holder's recorded creation time; false when the value is not one.
static bool ReadHolder(HKEY key, const char* name, FILETIME& recorded)
{
    DWORD type = REG_NONE, size = sizeof recorded;
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&recorded), &size) ==
               ERROR_SUCCESS &&
           type == REG_BINARY && size == sizeof recorded;
}

// Removes the dead holders' values and counts the live ones.
int CountLiveHolders(HKEY key)
{
    std::vector<std::string> dead;
    int live = 0;
    for (DWORD index = 0;; ++index) {
        char name[64] = "";
        DWORD nameSize = sizeof name;
        LONG status = RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || strncmp(name, holderPrefix, sizeof holderPrefix - 1) != 0)
            continue;
        FILETIME recorded = {};
        if (ReadHolder(key, name, recorded) && IsLiveHolder(name, recorded))
            ++live;
        else
            dead.push_back(name);
    }
    for (const std::string& name : dead) {
        hookLog.WriteFormat("KEY LOCK: holder %s has ended, removed", name.c_str());
        RegDeleteValueA(key, name.c_str());
    }
    return live;
}

bool AddOwnHolder(HKEY key)
{
    FILETIME created = {};
    if (!ProcessCreationTime(GetCurrentProcess(), created))
        return false;
    return RegSetValueExA(key, HolderValueName(GetCurrentProcessId()).c_str(), 0, REG_BINARY,
                          reinterpret_cast<const BYTE*>(&created), sizeof created) == ERROR_SUCCESS;
}

void RemoveOwnHolder(HKEY key)
{
    RegDeleteValueA(key, HolderValueName(GetCurrentProcessId()).c_str());
}
