#include "associations/RegistryChangeStop.h"

#include "common/UniqueHandle.h"

namespace {

DWORD ReadStopAfter()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillet Test Bench\\Registry Changes", 0, KEY_QUERY_VALUE,
                      key.put()) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), "Stop After", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    return value;
}

} // namespace

LONG CountRegistryChange(LONG status)
{
    // Read once, at the first change: later changes cost no registry access.
    static const DWORD stopAfter = ReadStopAfter();
    static DWORD changes = 0;
    if (status == ERROR_SUCCESS && stopAfter != 0 && ++changes >= stopAfter)
        TerminateProcess(GetCurrentProcess(), kStoppedExitCode);
    return status;
}
