#include "associations/AssociationKeys.h"

#include "associations/RegistryChangeCount.h"

#include <shlwapi.h>

bool OpenAssociationKey(HKEY root, const std::string& path, unique_hkey& key, REGSAM access)
{
    return RegOpenKeyExA(root, path.c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

bool OpenOrCreateAssociationKey(HKEY root, const std::string& path, unique_hkey& key, REGSAM access, bool* created)
{
    if (created)
        *created = false;
    if (OpenAssociationKey(root, path, key, access))
        return true;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(),
                        &disposition) != ERROR_SUCCESS)
        return false;
    if (disposition == REG_CREATED_NEW_KEY)
        CountRegistryChange(ERROR_SUCCESS);
    if (created)
        *created = disposition == REG_CREATED_NEW_KEY;
    return true;
}

std::string StoredKeyPath(HKEY root, const std::string& path)
{
    size_t cut = path.rfind('\\');
    std::string parentPath = cut == std::string::npos ? std::string() : path.substr(0, cut);
    const char* leaf = path.c_str() + (cut == std::string::npos ? 0 : cut + 1);
    unique_hkey parent;
    if (RegOpenKeyExA(root, parentPath.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, parent.put()) != ERROR_SUCCESS)
        return path;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(parent.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return path;
        if (lstrcmpiA(name, leaf) == 0)
            return cut == std::string::npos ? std::string(name) : parentPath + "\\" + name;
    }
}

bool DeleteKeyTree(HKEY root, const std::string& path)
{
    // Key by key, deepest first, as SHDeleteKeyA does it, but each deletion
    // counted as a change of its own: a process ended halfway leaves what a
    // killed tree deletion leaves, and the restore must cope with that.
    unique_hkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    char name[256];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (!DeleteKeyTree(key.get(), name))
            return false;
    }
    key.reset();
    return DeleteKey(root, path);
}

bool DeleteKey(HKEY root, const std::string& path)
{
    return CountRegistryChange(RegDeleteKeyA(root, path.c_str())) == ERROR_SUCCESS;
}

bool CopyKeyTree(HKEY sourceRoot, const char* path, HKEY target)
{
    return CountRegistryChange(SHCopyKeyA(sourceRoot, path, target, 0)) == ERROR_SUCCESS;
}

bool AssociationKeyExists(HKEY root, const std::string& path)
{
    unique_hkey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

bool IsEmptyKey(HKEY root, const std::string& path)
{
    unique_hkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

std::vector<std::string> MissingParents(HKEY root, const std::string& path)
{
    std::vector<std::string> missing;
    std::string parent = path;
    for (size_t cut; (cut = parent.rfind('\\')) != std::string::npos;) {
        parent.resize(cut);
        if (parent.find('\\') == std::string::npos)
            break;
        unique_hkey key;
        if (RegOpenKeyExA(root, parent.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS)
            break;
        missing.push_back(parent);
    }
    return missing;
}

bool CanWriteMachineKeys()
{
    for (const char* path : {"SOFTWARE", "Software\\Classes"}) {
        unique_hkey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, key.put()) == ERROR_SUCCESS)
            return true;
    }
    return false;
}
