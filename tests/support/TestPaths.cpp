#include "tests/support/TestPaths.h"

#include <windows.h>
#include <shlwapi.h>

std::string TestModuleDirectory()
{
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *PathFindFileNameA(path) = '\0';
    return path;
}

std::string BuiltBinary(const char* name)
{
    // Test programs live in <build>\tests, the deliverables in <build>\bin.
    return TestModuleDirectory() + "..\\bin\\" + name;
}

std::string StandinBrowserPath()
{
    return "C:\\Program Files\\Internet Explorer\\iexplore.exe";
}

std::string TempFilePath(const char* stem)
{
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + stem + "-" + std::to_string(GetCurrentProcessId()) + ".tmp";
}

bool RunningOnWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
