// The only state of Spirel in a process: its module handle and the message
// ids, written once by the entry point before any hook procedure runs.
#pragma once

#include <windows.h>
#include "common/HookProtocol.h"

extern HINSTANCE g_spirelModule;
extern HookMessageIds g_spirelMessages;

extern "C" {
LRESULT CALLBACK GetProcRet(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GetHookMessageCBT(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GetHookMessageFILTER(int code, WPARAM wParam, LPARAM lParam);

int __cdecl HookWindowRet(HWND window, HHOOK* slot, void* ignoredProcedure);
int __cdecl HookCBT(HWND window, HHOOK* slot, HOOKPROC procedure);
BOOL __cdecl UnHookWindow(HWND window, HHOOK hook);
}
