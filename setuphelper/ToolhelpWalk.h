// Walks over toolhelp snapshots of the processes and of one process's
// modules. VISIT returns true to stop the walk; the walk returns whether it
// was stopped. A snapshot that cannot be taken walks over nothing.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <tlhelp32.h>

template <typename Visit>
bool WalkProcesses(Visit visit)
{
    unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (visit(entry))
            return true;
    }
    return false;
}

// PROCESS_ID 0 means the calling process.
template <typename Visit>
bool WalkModules(DWORD processId, Visit visit)
{
    unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (!snapshot)
        return false;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32First(snapshot.get(), &entry); more;
         more = Module32Next(snapshot.get(), &entry)) {
        if (visit(entry))
            return true;
    }
    return false;
}
