#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"
#include "associations/RegistryChangeCount.h"

// A record whose saved copy is gone cannot bring its key back. What the
// takeover put into the key is taken out again in place, so that the
// handler runs as before without Quillet: the program in front of its
// commands and the icon. A "%1" that the wrap added cannot be told from one
// that was there and stays.

void AssociationManager::TakeProgramOut(HKEY root, const std::string& path)
{
    if (path == ClsidServerPath(kClassesPrefix)) {
        TakeProgramOutOfValue(root, path);
    } else if (path == ClsidClassPath(kClassesPrefix)) {
        TakeProgramOutOfValue(root, ClsidServerPath(kClassesPrefix));
    } else {
        for (const char* verb : {"open", "opennew"})
            TakeProgramOutOfValue(root, path + "\\shell\\" + verb + "\\command");
        PutBackMachineIcon(root, path);
    }
}

void AssociationManager::TakeProgramOutOfValue(HKEY root, const std::string& path)
{
    unique_hkey key;
    DWORD type = REG_SZ;
    if (!OpenAssociationKey(root, path, key) || !ReadValue(key.get(), &type, nullptr))
        return;
    std::string value = Value();
    bool changed = false;
    for (const std::string& program : Programs()) {
        for (size_t at; (at = FindProgram(value, program)) != std::string::npos; changed = true)
            value = ReplaceProgram(value, at, program.size(), std::string());
    }
    if (changed)
        WriteValue(key.get(), type, value.c_str(), nullptr);
}

// The icon the takeover wrote names Quillet.exe: the machine-wide class's
// icon shows again, or none when it has none.
void AssociationManager::PutBackMachineIcon(HKEY root, const std::string& classPath)
{
    std::string iconPath = classPath + "\\DefaultIcon";
    unique_hkey icon;
    if (!OpenAssociationKey(root, iconPath, icon) || !ReadValue(icon.get(), nullptr, nullptr))
        return;
    bool names = false;
    for (const std::string& program : Programs())
        names = names || NamesProgram(Value(), program);
    if (!names)
        return;
    unique_hkey machine;
    DWORD type = REG_SZ;
    if (!IsMachineRoot(root) && OpenAssociationKey(HKEY_LOCAL_MACHINE, iconPath, machine, KEY_READ) &&
        ReadValue(machine.get(), &type, nullptr))
        WriteValue(icon.get(), type, Value(), nullptr);
    else
        CountRegistryChange(RegDeleteValueA(icon.get(), nullptr));
}
