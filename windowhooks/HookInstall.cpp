// Installing and removing hooks, called from Quillet's main window thread.
#include "windowhooks/SpirelGlobals.h"

namespace {

DWORD ThreadOf(HWND window)
{
    // No window: the hook covers every thread of the desktop.
    return window ? GetWindowThreadProcessId(window, nullptr) : 0;
}

HHOOK Replace(HHOOK* slot, int kind, HOOKPROC procedure, HWND window)
{
    if (*slot)
        UnhookWindowsHookEx(*slot);
    *slot = SetWindowsHookExA(kind, procedure, g_spirelModule, ThreadOf(window));
    return *slot;
}

}  // namespace

extern "C" int __cdecl HookWindowRet(HWND window, HHOOK* slot, void*)
{
    Replace(slot, WH_CALLWNDPROCRET, GetProcRet, window);
    // A recalculated frame makes the window paint it again, and the new hook
    // reports that WM_NCPAINT as a caption event.
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
    return *slot != nullptr;
}

extern "C" int __cdecl HookCBT(HWND window, HHOOK* slot, HOOKPROC procedure)
{
    return Replace(slot, WH_CBT, procedure, window) != nullptr;
}

extern "C" BOOL __cdecl UnHookWindow(HWND, HHOOK hook)
{
    return hook ? UnhookWindowsHookEx(hook) : FALSE;
}
