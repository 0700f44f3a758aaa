#include "programwide/SettingsStore.h"

#include "common/UniqueHandle.h"
#include "programwide/LauncherState.h"

#include <string>

namespace {

std::string SettingsKeyPath()
{
    return std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption + "\\Main";
}

} // namespace

void ReadSetting(const char* name, DWORD& value)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath().c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    // The type is deliberately not checked: up to four raw bytes of any value
    // land over the caller's default. They go through a copy so that a value
    // longer than four bytes, whose read fails, cannot leave a partial write.
    DWORD bytes = value;
    DWORD size = sizeof bytes;
    LONG result = RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&bytes), &size);
    if (result == ERROR_SUCCESS)
        value = bytes;
}

void WriteSetting(const char* name, DWORD value)
{
    unique_hkey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKeyPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
