// Walks over toolhelp snapshots of the processes and of one process's
// modules. VISIT returns true to stop the walk; the walk returns whether it
// was stopped. A snapshot that cannot be taken walks over nothing.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <tlhelp32.h>

// The ANSI entries, as every caller of the walks reads them (their pointer
// and ULONG_PTR fields make them larger on 64-bit Windows).
#ifdef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 304, "ANSI process entry");
static_assert(sizeof(MODULEENTRY32) == 568, "ANSI module entry");
#else
static_assert(sizeof(PROCESSENTRY32) == 296, "ANSI process entry");
static_assert(sizeof(MODULEENTRY32) == 548, "ANSI module entry");
#endif

template <typename Entry, typename Visit>
bool WalkSnapshot(DWORD flags, DWORD processId, BOOL(WINAPI* first)(HANDLE, Entry*),
                  BOOL(WINAPI* next)(HANDLE, Entry*), Visit visit)
{
    unique_file snapshot(CreateToolhelp32Snapshot(flags, processId));
    if (!snapshot)
        return false;
    Entry entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
        if (visit(entry))
            return true;
    }
    return false;
}

template <typename Visit>
bool WalkProcesses(Visit visit)
{
    return WalkSnapshot<PROCESSENTRY32>(TH32CS_SNAPPROCESS, 0, Process32First, Process32Next, visit);
}

// PROCESS_ID 0 means the calling process.
template <typename Visit>
bool WalkModules(DWORD processId, Visit visit)
{
    return WalkSnapshot<MODULEENTRY32>(TH32CS_SNAPMODULE, processId, Module32First, Module32Next,
                                       visit);
}
