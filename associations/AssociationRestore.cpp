#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"
#include "associations/RegistryChangeCount.h"

#include <cstring>
#include <new>

int AssociationManager::RestoreAssociations(const char* programPath, const char* productName, HKEY root)
{
    StoreOperands(programPath, productName, root);
    restoreIncomplete_ = false;
    if (!OpenHKEY(FOLDER_SAVE, true)) {
        restoreIncomplete_ = true;
        Log("Not given back ( %s ): the save area cannot be opened", RootName(root_));
        return 0;
    }
    int result = 0;
    try {
        previousProgram_ = ReadPreviousProgram();
        restoreIncomplete_ = !ReserveBuffer(1024);
        if (!restoreIncomplete_) {
            RestoreClsidData(root_, kClassesPrefix);
            for (const ExtensionPair& pair : kExtensionPairs)
                RestoreKeyData(root_, kClassesPrefix, pair.extension);
            for (const char* name : kClassNames)
                RestoreKeyData(root_, kClassesPrefix, name);
            result = RestoreKeyData(root_, kApplicationsPrefix, kApplicationName) ? 1 : 0;
        }
        RestoreCheckAssociations();
    } catch (const std::bad_alloc&) {
        restoreIncomplete_ = true;
    }
    // A saved copy that could not be put back is the user's only record of
    // that key: the save area stays, and a later restore tries again.
    if (!restoreIncomplete_)
        RemoveSaveArea();
    FreeBuffer();
    CloseHKEY(FOLDER_SAVE);
    return result;
}

// A restore ended halfway through this is run again from what is left. So
// the records go first, one by one, and the copies after them: at every
// moment a record still there has its complete copy, and a record never
// announces a fragment that would replace a key already put back.
void AssociationManager::RemoveSaveArea()
{
    // "-@DELETE" records go before "-@RESTORE" ones: the COM class's server
    // record deletes the class that its class key's record then puts back,
    // and left alone it would delete the class already given back.
    std::vector<std::string> deletes;
    std::vector<std::string> restores;
    char name[1024];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(saveKey_.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (std::strstr(name, "_>:") && ReadValue(saveKey_.get(), nullptr, name))
            (std::strcmp(Value(), kSaveDelete) == 0 ? deletes : restores).push_back(name);
    }
    FlushClasses(root_);
    for (const std::vector<std::string>* group : {&deletes, &restores})
        for (const std::string& record : *group)
            CountRegistryChange(RegDeleteValueA(saveKey_.get(), record.c_str()));
    CloseHKEY(FOLDER_SAVE);
    DeleteKeyTree(root_, FolderPath(FOLDER_SAVE));
}

bool AssociationManager::RestoreRecordedKey(HKEY root, const std::string& recordPath, const std::string& deletePath)
{
    std::string record;
    if (!ReadRecord(root, recordPath, record) || (record != kSaveDelete && record != kSaveRestore))
        return false;
    if (GiveUpHeldItem(root, recordPath, record))
        return true;
    if (record == kSaveRestore)
        return RestoreKeyCopy(recordPath, root);
    if (!DeleteOrGone(root, deletePath)) {
        restoreIncomplete_ = true;
        Log("Not given back ( %s\\%s )", RootName(root), deletePath.c_str());
        return false;
    }
    RemoveCreatedParents(root, deletePath);
    return true;
}

// A key that is already gone is as good as deleted; one that cannot be
// deleted (or opened to be) is still there.
bool AssociationManager::DeleteOrGone(HKEY root, const std::string& path)
{
    if (DeleteKeyTree(root, path))
        return true;
    unique_hkey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_FILE_NOT_FOUND;
}

// An item another program holds now is the user's choice: nothing is given
// back over it, and its record goes, so that the restore can finish.
bool AssociationManager::GiveUpHeldItem(HKEY root, const std::string& recordPath, const std::string& record)
{
    bool held = false;
    if (recordPath == ClsidServerPath(kClassesPrefix)) {
        held = ServerHeld(root, recordPath, record.c_str());
    } else if (recordPath != ClsidClassPath(kClassesPrefix)) {
        const char* className = nullptr;
        for (const ExtensionPair& pair : kExtensionPairs)
            if (recordPath == ItemPath(kClassesPrefix, pair.extension))
                className = pair.className;
        held = className ? ExtensionHeld(root, recordPath, className, record.c_str())
                         : ClassHeld(root, recordPath, record.c_str());
    }
    if (held)
        DropRecord(root, recordPath);
    return held;
}

void AssociationManager::DropRecord(HKEY root, const std::string& path)
{
    FlushClasses(root);
    RemoveRecord(root, path);
}

void AssociationManager::RemoveCreatedParents(HKEY root, const std::string& path)
{
    // A parent without its own record was there before the takeover, and so
    // were all above it. One that still holds keys the user added meanwhile
    // stays.
    std::string parent = path;
    for (size_t cut; (cut = parent.rfind('\\')) != std::string::npos;) {
        parent.resize(cut);
        std::string record;
        if (!ReadRecord(root, parent, record) || record != kSaveDelete || !IsEmptyKey(root, parent) ||
            !DeleteKey(root, parent))
            return;
    }
}

bool AssociationManager::RestoreClsidData(HKEY root, const char* prefix)
{
    // The record is named after the server key; a created class goes whole.
    bool restored = RestoreRecordedKey(root, ClsidServerPath(prefix), ClsidClassPath(prefix));
    // A class key of the user's own that had no server key was saved whole:
    // it comes back in place of the one the takeover filled in.
    std::string record;
    if (ReadRecord(root, ClsidClassPath(prefix), record) && record == kSaveRestore)
        restored = RestoreKeyCopy(ClsidClassPath(prefix), root);
    return restored;
}

bool AssociationManager::RestoreKeyData(HKEY root, const char* prefix, const char* name)
{
    std::string path = ItemPath(prefix, name);
    return RestoreRecordedKey(root, path, path);
}

void AssociationManager::RestoreCheckAssociations()
{
    unique_hkey browser;
    if (!OpenOrCreateAssociationKey(root_, kBrowserMainKey, browser) || !ReserveBuffer(1024) ||
        !OpenHKEY(FOLDER_SAVE, true)) {
        restoreIncomplete_ = true;
        Log("Not given back ( %s\\%s\\%s )", RootName(root_), kBrowserMainKey, kCheckAssociations);
        return;
    }
    DWORD type = REG_SZ;
    if (!ReadValue(saveKey_.get(), &type, kCheckAssociations))
        return;
    // An empty saved value means the browser had none.
    bool given = false;
    if (Value()[0] != '\0') {
        given = WriteValue(browser.get(), type, Value(), kCheckAssociations);
    } else {
        LONG status = CountRegistryChange(RegDeleteValueA(browser.get(), kCheckAssociations));
        given = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    if (!given) {
        restoreIncomplete_ = true;
        Log("Not given back ( %s\\%s\\%s )", RootName(root_), kBrowserMainKey, kCheckAssociations);
    }
}
