#include <windows.h>

// Nothing to set up: the caption query state is a plain module global. The
// thread notifications stay on, since the statically linked runtime keeps
// per-thread data of its own.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
