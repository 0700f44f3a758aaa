#include "windowhooks/SpirelGlobals.h"

HINSTANCE g_spirelModule;
HookMessageIds g_spirelMessages;

// There is no runtime to run static constructors: the entry point registers
// the messages itself, before the loader lets any hook procedure run.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    g_spirelModule = module;
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        g_spirelMessages = RegisterHookMessages();
    }
    return TRUE;
}
