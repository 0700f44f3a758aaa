#include "associations/SystemVersion.h"

#include <windows.h>

bool IsWindows2000()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           version.dwMajorVersion == 5 && version.dwMinorVersion == 0;
}
