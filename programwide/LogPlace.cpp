#include "programwide/LogPlace.h"

#include "common/UniqueHandle.h"
#include "programwide/LauncherState.h"

#include <windows.h>

namespace {

// NAME in the folder of Quillet.exe. The path is in the ANSI code page,
// whose double-byte characters may carry a backslash as their second byte.
std::string ProgramFolderFile(const char* name)
{
    char path[MAX_PATH + 1] = {};
    lstrcpynA(path, g_launcher.modulePath, sizeof path);
    if (!path[0])
        GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char* fileName = path;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\')
            fileName = p + 1;
    }
    return std::string(path, static_cast<size_t>(fileName - path)) + name;
}

// "%APPDATA%\Orvane", empty without an application data folder.
std::string VendorFolder()
{
    char appData[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("APPDATA", appData, sizeof appData);
    if (length == 0 || length >= sizeof appData)
        return std::string();
    return std::string(appData) + "\\Orvane";
}

// "%APPDATA%\Orvane\<product>", empty without an application data folder.
std::string UserFolder()
{
    std::string vendor = VendorFolder();
    return vendor.empty() ? vendor : vendor + "\\" + g_launcher.productCaption;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Empties PATH, making it when missing; false when it cannot be written.
bool BeginFile(const std::string& path)
{
    unique_file file(CreateFileA(path.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.is_valid();
}

}  // namespace

std::string BeginLogFile(const char* name)
{
    std::string beside = ProgramFolderFile(name);
    std::string folder = UserFolder();
    std::string own = folder.empty() ? std::string() : folder + "\\" + name;
    if (BeginFile(beside)) {
        if (!own.empty())
            DeleteFileA(own.c_str());
        return beside;
    }
    if (own.empty())
        return std::string();
    CreateDirectoryA(VendorFolder().c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    return BeginFile(own) ? own : std::string();
}

std::string CurrentLogFile(const char* name)
{
    std::string folder = UserFolder();
    if (!folder.empty() && Exists(folder + "\\" + name))
        return folder + "\\" + name;
    return ProgramFolderFile(name);
}
