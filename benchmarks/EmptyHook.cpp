// The benchmark's reference hook: a call-window-return procedure that does
// nothing but pass the call on, in a library of its own like Spirel's, so
// that the platform's cost of calling into a hook library is the same for
// both.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK EmptyCallWndRetHook(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
