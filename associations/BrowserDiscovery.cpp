#include "associations/BrowserDiscovery.h"

#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"
#include "associations/EnvironmentReferences.h"

#include <new>

bool AssociationManager::ReadSavedBrowserCommand(const char* productName, std::string& command, DWORD* type)
{
    command.clear();
    productName_ = productName;
    if (!ReserveBuffer(1024))
        return false;
    // An empty or missing saved command is no command: a blank in front of
    // the arguments starts nothing, and the caller's next source must be
    // asked. The per-user save key wins when it holds one.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (!OpenHKEY(FOLDER_SAVE, false, root))
            continue;
        DWORD found = REG_SZ;
        ReadValue(FolderKey(FOLDER_SAVE), &found, nullptr);
        CloseHKEY(FOLDER_SAVE);
        command = Value();
        if (!command.empty()) {
            if (type)
                *type = found;
            break;
        }
    }
    FreeBuffer();
    return !command.empty();
}

bool AssociationManager::LocateBrowserFromSetup(std::string& path)
{
    // Reading is all this needs; asking for set-value access as well would
    // make the machine-wide key unreadable for a limited user.
    unique_hkey setup;
    if (!OpenAssociationKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\IE Setup\\Setup", setup, KEY_READ))
        return false;
    if (!ReserveBuffer(1024))
        return false;
    bool found = ReadValue(setup.get(), nullptr, "Path");
    if (found)
        path = ExpandEnvironmentReferences(Value()) + "\\" + "IEXPLORE.EXE";
    FreeBuffer();
    return found;
}

bool ReadSavedBrowserCommand(const char* productName, std::string& command)
{
    try {
        AssociationManager manager;
        return manager.ReadSavedBrowserCommand(productName, command);
    } catch (const std::bad_alloc&) {
        command.clear();
        return false;
    }
}

bool LocateBrowserFromSetup(std::string& path)
{
    try {
        AssociationManager manager;
        return manager.LocateBrowserFromSetup(path);
    } catch (const std::bad_alloc&) {
        return false;
    }
}
