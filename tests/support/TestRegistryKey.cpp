#include "tests/support/TestRegistryKey.h"

#include "common/UniqueHandle.h"

#include <shlwapi.h>

#include <vector>

TestRegistryKey::TestRegistryKey(HKEY root, std::string path) : root_(root), path_(std::move(path))
{
    DeleteRegistryTree(root_, path_);
    if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr)
        != ERROR_SUCCESS)
        key_ = nullptr;
}

namespace {
const char kTestsKey[] = "Software\\Quillet Tests";
}

TestRegistryKey::TestRegistryKey(const char* name)
    : TestRegistryKey(HKEY_CURRENT_USER,
                      std::string(kTestsKey) + "\\" + name + "-" + std::to_string(GetCurrentProcessId()))
{
    sharedParent_ = true;
}

TestRegistryKey::~TestRegistryKey()
{
    if (key_)
        RegCloseKey(key_);
    DeleteRegistryTree(root_, path_);
    // The shared parent goes with the last test key (RegDeleteKey refuses a
    // key that still has subkeys).
    if (sharedParent_)
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);
}

bool DeleteRegistryTree(HKEY root, const std::string& path)
{
    SHDeleteKeyA(root, path.c_str());
    return !RegistryKeyExists(root, path);
}

bool RegistryKeyExists(HKEY root, const std::string& path)
{
    unique_hkey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool ReadRegistryText(HKEY root, const std::string& path, const char* name, std::string& text)
{
    unique_hkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    // One spare zero: a stored value need not end in one.
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, &type, (BYTE*)data.data(), &size) != ERROR_SUCCESS)
        return false;
    text.assign(data.data());
    return true;
}

bool WriteRegistryText(HKEY root, const std::string& path, const char* name, const std::string& text)
{
    unique_hkey key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr)
        != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.get(), name, 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1)
        == ERROR_SUCCESS;
}
