// "GetFirstCaption" and "GetNextCaption": the programs that a window's process
// has started, named by their main window's caption or, for a program that
// shows no such window, by its executable's file name.
#include "setuphelper/PellowExports.h"

#include "common/TwoCall.h"
#include "common/UniqueHandle.h"
#include "setuphelper/CaptionQueryState.h"
#include "setuphelper/GrowOrThrow.h"
#include "setuphelper/ToolhelpWalk.h"

#include <psapi.h>
#include <shlwapi.h>

#include <algorithm>

namespace {

void CollectChildProcesses(DWORD parentId)
{
    WalkProcesses([parentId](const PROCESSENTRY32& entry) {
        if (entry.th32ParentProcessID == parentId)
            AppendOrThrow(captionQueryState.childList, entry.th32ProcessID);
        return false;
    });
}

std::string WindowCaption(HWND window)
{
    std::string caption;
    ReadTwoCall(caption, [window](void* data, DWORD size, DWORD* needed) {
        if (!data) {
            *needed = (DWORD)GetWindowTextLengthA(window) + 1;
        } else {
            // The caption may have become shorter since its length was read.
            *needed = (DWORD)GetWindowTextA(window, (char*)data, (int)size);
        }
        return true;
    });
    // An empty caption leaves the terminator's byte in the buffer.
    return caption.c_str();
}

// A program's main window: visible, neither a child nor owned by another.
bool IsMainWindow(HWND window)
{
    return IsWindowVisible(window) && !GetParent(window) && !GetWindow(window, GW_OWNER);
}

// A C++ exception must not unwind through EnumWindows: a shortage of memory
// stops the walk and is raised again once EnumWindows has returned.
BOOL CALLBACK CollectCaption(HWND window, LPARAM outOfMemory)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    std::vector<DWORD>& children = captionQueryState.childList;
    auto child = std::find(children.begin(), children.end(), processId);
    if (child == children.end() || !IsMainWindow(window))
        return TRUE;
    try {
        AppendOrThrow(captionQueryState.stringList, WindowCaption(window));
    } catch (...) {
        *(bool*)outOfMemory = true;
        return FALSE;
    }
    children.erase(child);
    return TRUE;
}

void CollectCaptions()
{
    bool outOfMemory = false;
    EnumWindows(CollectCaption, (LPARAM)&outOfMemory);
    if (outOfMemory)
        throw CAtlException(E_OUTOFMEMORY);
}

// The file name part of the process's executable path.
bool ReadExecutableFileName(DWORD processId, std::string& name)
{
    unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    char path[775] = {};
    if (!process || !GetModuleFileNameExA(process.get(), nullptr, path, sizeof(path)))
        return false;
    name = PathFindFileNameA(path);
    return true;
}

BOOL FirstCaption(LPCSTR className, char* buffer, DWORD* size)
{
    CaptionQueryState& state = captionQueryState;
    state.Clear();
    state.anchorWindow = FindWindowA(className, nullptr);
    DWORD anchorProcessId = 0;
    if (state.anchorWindow)
        GetWindowThreadProcessId(state.anchorWindow, &anchorProcessId);
    if (anchorProcessId)
        CollectChildProcesses(anchorProcessId);
    if (state.childList.empty())
        return FALSE;

    CollectCaptions();
    bool delivered = state.DeliverFirst(buffer, size);
    for (DWORD processId : state.childList) {
        std::string name;
        if (!ReadExecutableFileName(processId, name))
            continue;
        AppendOrThrow(state.stringList, std::move(name));
        if (!delivered)
            delivered = state.DeliverFirst(buffer, size);
    }
    return delivered;
}

// Without a class FindWindowA would take any top-level window as the anchor.
bool ValidArguments(LPCSTR className, DWORD* size)
{
    if (className && size)
        return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

}  // namespace

extern "C" BOOL WINAPI GetFirstCaption(LPCSTR className, char* buffer, DWORD* size)
{
    BOOL delivered = ValidArguments(className, size) &&
                     GuardExport(FALSE, [=] { return FirstCaption(className, buffer, size); });
    // Nothing delivered leaves nothing to fetch, also after a memory shortage
    // half-way through.
    if (!delivered)
        captionQueryState.Clear();
    return delivered;
}

extern "C" BOOL WINAPI GetNextCaption(LPCSTR className, char* buffer, DWORD* size)
{
    if (!ValidArguments(className, size))
        return FALSE;
    return GuardExport(FALSE, [=]() -> BOOL {
        if (FindWindowA(className, nullptr) != captionQueryState.anchorWindow)
            return FALSE;
        return captionQueryState.DeliverFirst(buffer, size);
    });
}
