// The hook procedures. They run on arbitrary threads of other programs: they
// keep nothing between calls, take no locks, never block, and always pass
// the call on. The shared block is opened only when there is something to
// report, so the messages that are not reported cost one comparison.
#include "windowhooks/SpirelGlobals.h"
#include "common/SharedBlockView.h"

namespace {

// The block as the first instance published it; all zero when no instance
// runs. Its contents come from another process: they are only ever handed
// to calls that validate handles themselves.
HookSharedBlock ReadSharedBlock()
{
    HookSharedBlock block = {0, 0};
    SharedBlockView view;
    if (view.OpenReadOnly(sizeof block, HOOK_SHARED_BLOCK_NAME))
        view.Read(&block, sizeof block);
    return block;
}

bool IsReportedCreation(LPARAM lParam)
{
    const CBT_CREATEWNDA* creation = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
    if (!creation || !creation->lpcs)
        return false;
    // Captioned windows with a system menu, and no popups: the top-level
    // windows a user sees as windows of a program.
    const DWORD required = WS_CAPTION | WS_SYSMENU;
    DWORD style = static_cast<DWORD>(creation->lpcs->style);
    return (style & required) == required && !(style & WS_POPUP);
}

}  // namespace

extern "C" LRESULT CALLBACK GetHookMessageCBT(int code, WPARAM wParam, LPARAM lParam)
{
    HookSharedBlock block = {0, 0};
    if (code == HCBT_CREATEWND && IsReportedCreation(lParam)) {
        block = ReadSharedBlock();
        HWND mainWindow = BlockWindow(block.mainWindow);
        HWND created = reinterpret_cast<HWND>(wParam);
        if (mainWindow && mainWindow != created) {
            DWORD processId = 0;
            GetWindowThreadProcessId(created, &processId);
            PostMessageA(mainWindow, g_spirelMessages.createWindow, wParam, processId);
        }
    }
    return CallNextHookEx(BlockHook(block.cbtHook),
                          code, wParam, lParam);
}

extern "C" LRESULT CALLBACK GetProcRet(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    WPARAM event;
    if (code >= 0 && call && WindowEventOf(call->message, &event)) {
        HookSharedBlock block = ReadSharedBlock();
        if (block.mainWindow)
            PostMessageA(BlockWindow(block.mainWindow),
                         g_spirelMessages.windowEvent, event,
                         reinterpret_cast<LPARAM>(call->hwnd));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A diagnostic procedure for a debugger session; nothing installs it.
extern "C" LRESULT CALLBACK GetHookMessageFILTER(int code, WPARAM wParam, LPARAM lParam)
{
    DebugBreak();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
