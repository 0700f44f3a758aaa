#include "tests/support/WineVersion.h"

#include "common/UniqueHandle.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestRegistryKey.h"

WineAppVersion::WineAppVersion(const std::string& exeName, const std::string& version)
    : key_("Software\\Wine\\AppDefaults\\" + exeName)
{
    if (RunningOnWine())
        applied_ = WriteRegistryText(HKEY_CURRENT_USER, key_, "Version", version);
}

WineAppVersion::~WineAppVersion()
{
    if (!applied_)
        return;
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), "Version");
}
