#include "launcher/DelayLoadFailure.h"

#include "launcher/DelayedImportStubs.h"

namespace {

// The loader's error of the latest failure, for the stubs to report.
DWORD s_failure = ERROR_MOD_NOT_FOUND;

} // namespace

void FailDelayedCall()
{
    SetLastError(s_failure);
}

FARPROC FindDelayedImportStub(const char* dll, const char* name)
{
    for (size_t i = 0; i < kDelayedImportCount; ++i) {
        const DelayedImportTable& table = kDelayedImports[i];
        if (lstrcmpiA(table.dll, dll) != 0)
            continue;
        for (const DelayedImportStub& stub : table.stubs) {
            if (stub.name && lstrcmpA(stub.name, name) == 0)
                return stub.failure;
        }
    }
    return nullptr;
}

FARPROC WINAPI OnDelayLoadFailure(unsigned notification, PDelayLoadInfo info)
{
    HMODULE self = GetModuleHandleA(nullptr);
    // The helper keeps this module as the DLL's: it exports nothing, so each
    // function of the missing DLL comes back below and gets its stub.
    if (notification == dliFailLoadLib)
        return reinterpret_cast<FARPROC>(self);
    if (notification != dliFailGetProc || !info || !info->dlp.fImportByName)
        return nullptr;
    s_failure = info->hmodCur == self ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND;
    return FindDelayedImportStub(info->szDll, info->dlp.szProcName);
}
