// Quillet's side of the hook library: Spirel.dll from Quillet.exe's own
// folder, bound at start-up, its install and remove exports called through
// GetProcAddress.
#pragma once

#include <windows.h>
#include "common/HookProtocol.h"
#include "marking/HookMapping.h"

class SpirelBinding {
public:
    SpirelBinding() noexcept;
    ~SpirelBinding();
    SpirelBinding(const SpirelBinding&) = delete;
    SpirelBinding& operator=(const SpirelBinding&) = delete;

    // A call-window-return hook on WINDOW's thread, running PROCEDURE (by
    // name) of the library. 1 when installed; 0 without the library.
    int HookWindow(HWND window, HHOOK* slot, const char* procedure) const noexcept;
    // A CBT hook (desktop-wide when WINDOW is 0) running PROCEDURE.
    int HookCbt(HWND window, HHOOK* slot, const char* procedure) const noexcept;
    BOOL UnHookWnd(HWND window, HHOOK hook) const noexcept;

    HMODULE Module() const noexcept { return module_; }
    const HookMapping& Mapping() const noexcept { return mapping_; }

private:
    FARPROC Export(const char* name) const noexcept;
    template <typename Function>
    Function ExportAs(const char* name) const noexcept;

    HookMapping mapping_;   // built before the library is bound
    HMODULE module_;
};

// The four registered messages, registered during static initialisation,
// before the binding below is built.
extern const HookMessageIds g_hookMessages;
extern SpirelBinding g_spirel;
