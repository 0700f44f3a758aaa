#include "marking/SpirelBinding.h"

#include "common/SystemLibrary.h"

namespace {

// The install and remove exports use the C calling convention.
typedef int(__cdecl* HookWindowRetFunction)(HWND, HHOOK*, FARPROC);
typedef int(__cdecl* HookCbtFunction)(HWND, HHOOK*, FARPROC);
typedef BOOL(__cdecl* UnHookWindowFunction)(HWND, HHOOK);

const char kLibraryName[] = "Spirel.dll";

}  // namespace

// One translation unit fixes the order: messages first, then the binding.
const HookMessageIds g_hookMessages = RegisterHookMessages();
SpirelBinding g_spirel;

// Always the copy beside Quillet.exe, by its full path: by its bare name
// Windows 2000 would also take one from the current folder, which a link's
// start inherits from the opened page, and the hooks would map it into every
// program on the desktop. A copy another instance's hooks mapped into this
// process is used only when it is that very file.
SpirelBinding::SpirelBinding() noexcept : module_(LoadLibraryBeside(nullptr, kLibraryName))
{
}

SpirelBinding::~SpirelBinding()
{
    if (module_ && FreeLibrary(module_))
        module_ = nullptr;
}

FARPROC SpirelBinding::Export(const char* name) const noexcept
{
    return module_ && name ? GetProcAddress(module_, name) : nullptr;
}

template <typename Function>
Function SpirelBinding::ExportAs(const char* name) const noexcept
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(Export(name)));
}

int SpirelBinding::HookWindow(HWND window, HHOOK* slot, const char* procedure) const noexcept
{
    auto install = ExportAs<HookWindowRetFunction>("HookWindowRet");
    if (!install)
        return 0;
    return install(window, slot, Export(procedure));
}

int SpirelBinding::HookCbt(HWND window, HHOOK* slot, const char* procedure) const noexcept
{
    auto install = ExportAs<HookCbtFunction>("HookCBT");
    if (!install)
        return 0;
    return install(window, slot, Export(procedure)) ? 1 : 0;
}

BOOL SpirelBinding::UnHookWnd(HWND window, HHOOK hook) const noexcept
{
    auto remove = ExportAs<UnHookWindowFunction>("UnHookWindow");
    if (!remove)
        return FALSE;
    return remove(window, hook);
}
