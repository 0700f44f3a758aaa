#include "tests/associations/RegistrySandbox.h"

#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"

#include <sddl.h>
#include <shlwapi.h>

#include <cstdio>
#include <vector>

namespace {

std::string SandboxPath()
{
    return "Software\\QuilletTests\\Associations" + std::to_string(GetCurrentProcessId());
}

HKEY CreateRealKey(const std::string& path)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

std::string Hex(const std::vector<BYTE>& bytes, DWORD size)
{
    std::string text;
    char pair[4];
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

void DumpKey(HKEY key, const std::string& path, std::string& out)
{
    out += "[" + path + "]\n";
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        std::vector<BYTE> data(65536);
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        out += "  \"" + std::string(name) + "\" " + std::to_string(type) + " " + Hex(data, size) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            DumpKey(child, path + "\\" + name, out);
            RegCloseKey(child);
        }
    }
}

} // namespace

RegistrySandbox::RegistrySandbox()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, SandboxPath().c_str());
    HKEY user = CreateRealKey(SandboxPath() + "\\user");
    HKEY machine = CreateRealKey(SandboxPath() + "\\machine");
    ok_ = user && machine && RegOverridePredefKey(HKEY_CURRENT_USER, user) == ERROR_SUCCESS &&
          RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine) == ERROR_SUCCESS;
    if (user)
        RegCloseKey(user);
    if (machine)
        RegCloseKey(machine);
}

RegistrySandbox::~RegistrySandbox()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    SHDeleteKeyA(HKEY_CURRENT_USER, SandboxPath().c_str());
    SHDeleteEmptyKeyA(HKEY_CURRENT_USER, "Software\\QuilletTests");
}

void PutValue(HKEY root, const std::string& path, const char* name, const std::string& text, DWORD type)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

void PutKey(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

std::string GetValue(HKEY root, const std::string& path, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size() - 1);
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<missing>";
    data[size] = '\0';
    return data.data();
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void RemoveKey(HKEY root, const std::string& path)
{
    SHDeleteKeyA(root, path.c_str());
}

std::string DumpTree(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<missing>";
    std::string out;
    DumpKey(key, path, out);
    RegCloseKey(key);
    return out;
}

const char kBrowserCommand[] = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome";
const char kBrowserServer[] = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"";

void WriteBrowserClasses(HKEY root)
{
    const std::string classes = "Software\\Classes\\";
    for (const char* extension : {".htm", ".html", ".shtml"}) {
        PutValue(root, classes + extension, nullptr, "htmlfile");
        PutValue(root, classes + extension, "Content Type", "text/html");
    }
    PutValue(root, classes + ".url", nullptr, "InternetShortcut");
    for (const char* name : {"htmlfile", "mhtmlfile"}) {
        std::string key = classes + name;
        PutValue(root, key, nullptr, "HTML Document");
        PutValue(root, key + "\\DefaultIcon", nullptr, "C:\\WINDOWS\\system32\\shdoclc.dll,1");
        PutValue(root, key + "\\shell", nullptr, "opennew");
        PutValue(root, key + "\\shell\\open\\command", nullptr, kBrowserCommand);
        PutValue(root, key + "\\shell\\open\\ddeexec", nullptr, "\"file:%1\",,-1,,,,,");
        PutValue(root, key + "\\shell\\open\\ddeexec\\Application", nullptr, "IExplore");
        PutValue(root, key + "\\shell\\opennew\\command", nullptr, std::string(kBrowserServer) + " %1");
        PutValue(root, key + "\\shell\\print\\command", nullptr, "rundll32.exe mshtml.dll,PrintHTML \"%1\"");
    }
    for (const char* name : {"ftp", "http", "https", "gopher"}) {
        std::string key = classes + name;
        PutValue(root, key, nullptr, std::string("URL:") + name);
        PutValue(root, key, "URL Protocol", "");
        PutValue(root, key + "\\DefaultIcon", nullptr, "url.dll,0");
        PutValue(root, key + "\\shell\\open\\command", nullptr, kBrowserCommand);
        PutValue(root, key + "\\shell\\open\\ddeexec", nullptr, "\"%1\",,-1,0,,,,");
        PutValue(root, key + "\\shell\\open\\ddeexec\\Topic", nullptr, "WWW_OpenURL");
    }
    PutValue(root, classes + "InternetShortcut\\shell\\open\\command", nullptr, "rundll32.exe shdocvw.dll,OpenURL %l");
    PutValue(root, classes + "Applications\\iexplore.exe\\shell\\open\\command", nullptr,
             std::string(kBrowserServer) + " %1");
    PutValue(root, classes + "CLSID\\{0002DF01-0000-0000-C000-000000000046}", nullptr, "Internet Explorer(Ver 1.0)");
    PutValue(root, classes + "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32", nullptr,
             kBrowserServer);
    PutValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main", "Check_Associations", "yes");
}

TestLogFile::TestLogFile(const char* stem) : path_(TempFilePath(stem))
{
    DeleteFileA(path_.c_str());
}

TestLogFile::~TestLogFile()
{
    DeleteFileA(path_.c_str());
}

void TestLogFile::Clear() const
{
    DeleteFileA(path_.c_str());
}

std::string TestLogFile::Contents() const
{
    std::string text;
    ReadFileText(path_, text);
    return text;
}

bool SetKeyAccess(HKEY root, const std::string& path, const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key = nullptr;
    bool applied = RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS &&
                   RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    if (key)
        RegCloseKey(key);
    LocalFree(descriptor);
    return applied;
}

UnreadableKey::UnreadableKey(HKEY root, const std::string& path) : root_(root), path_(path)
{
    ok_ = SetKeyAccess(root_, path_, "D:(D;;KR;;;WD)(A;;KA;;;WD)");
}

void UnreadableKey::Release()
{
    if (ok_)
        SetKeyAccess(root_, path_, "D:(A;;KA;;;WD)");
    ok_ = false;
}
