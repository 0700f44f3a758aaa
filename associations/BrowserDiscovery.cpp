#include "associations/BrowserDiscovery.h"

#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"
#include "associations/EnvironmentReferences.h"

#include <new>

bool AssociationManager::ReadSavedBrowserCommand(const char* productName, std::string& command)
{
    command.clear();
    productName_ = productName;
    bool found = false;
    if (!ReserveBuffer(1024))
        return false;
    // The per-user save key wins whenever it exists, even without a command.
    if (OpenHKEY(FOLDER_SAVE, false, HKEY_CURRENT_USER) || OpenHKEY(FOLDER_SAVE, false, HKEY_LOCAL_MACHINE)) {
        ReadValue(FolderKey(FOLDER_SAVE), nullptr, nullptr);
        command = Value();
        CloseHKEY(FOLDER_SAVE);
        found = true;
    }
    FreeBuffer();
    return found;
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
