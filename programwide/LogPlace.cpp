#include "programwide/LogPlace.h"

#include "common/PathFolder.h"
#include "common/UniqueHandle.h"
#include "programwide/LauncherState.h"

#include <windows.h>

namespace {

// NAME in the folder of Quillet.exe.
std::string ProgramFolderFile(const char* name)
{
    char path[MAX_PATH + 1] = {};
    lstrcpynA(path, g_launcher.modulePath, sizeof path);
    if (!path[0])
        GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, PathFolderLength(path)) + "\\" + name;
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

// VENDOR's folder of the product (empty without a vendor folder).
std::string ProductFolder(const std::string& vendor)
{
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
    std::string vendor = VendorFolder();
    std::string folder = ProductFolder(vendor);
    std::string own = folder.empty() ? std::string() : folder + "\\" + name;
    if (BeginFile(beside)) {
        if (!own.empty())
            DeleteFileA(own.c_str());
        return beside;
    }
    if (own.empty())
        return std::string();
    CreateDirectoryA(vendor.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    return BeginFile(own) ? own : std::string();
}

std::string CurrentLogFile(const char* name)
{
    std::string folder = ProductFolder(VendorFolder());
    if (!folder.empty() && Exists(folder + "\\" + name))
        return folder + "\\" + name;
    return ProgramFolderFile(name);
}
