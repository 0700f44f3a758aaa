#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"

#include <cstring>
#include <new>

// The repair of a takeover whose handlers were changed behind its back. It
// writes the handlers from the saved browser command, and each key it writes
// gets its record first, as in the takeover, so that the restore takes back
// what the repair wrote as well.
void AssociationManager::ReapplyTakeover(const char* programPath, const char* productName, HKEY root)
{
    StoreOperands(programPath, productName, root);
    try {
        std::string browserCommand;
        DWORD type = REG_SZ;
        if (OpenHKEY(FOLDER_SAVE, false)) {
            CloseHKEY(FOLDER_SAVE);
            ReadSavedBrowserCommand(productName, browserCommand, &type);
        }
        if (!browserCommand.empty() && ReserveBuffer(1024) && OpenHKEY(FOLDER_SAVE, false))
            ReapplyHandlers(browserCommand, type);
    } catch (const std::bad_alloc&) {
    }
    CloseHKEY(FOLDER_SAVE);
    FreeBuffer();
}

// Records PATH before its first change: a key there is copied into the save
// area ("-@RESTORE"); a missing one, and the parents that creating it
// brings along, are recorded "-@DELETE". A key with a record keeps it.
bool AssociationManager::RecordBeforeChange(const std::string& path)
{
    std::string record;
    if (ReadRecord(root_, path, record))
        return true;
    if (AssociationKeyExists(root_, path))
        return SaveKeyCopy(path, root_) && WriteRecord(root_, path, kSaveRestore);
    for (const std::string& parent : MissingParents(root_, path))
        if (!WriteRecord(root_, parent, kSaveDelete))
            return false;
    return WriteRecord(root_, path, kSaveDelete);
}

// The COM class's record is named after its server key, whose "-@DELETE"
// deletes the whole class; a class key there without a server key is saved
// whole, as the takeover does.
bool AssociationManager::RecordServerBeforeChange()
{
    std::string server = ClsidServerPath(kClassesPrefix);
    std::string classPath = ClsidClassPath(kClassesPrefix);
    std::string record;
    if (ReadRecord(root_, server, record))
        return true;
    if (AssociationKeyExists(root_, server))
        return SaveKeyCopy(server, root_) && WriteRecord(root_, server, kSaveRestore);
    if (AssociationKeyExists(root_, classPath))
        return SaveKeyCopy(classPath, root_) && WriteRecord(root_, classPath, kSaveRestore) &&
               WriteRecord(root_, server, kSaveDelete);
    for (const std::string& parent : MissingParents(root_, classPath))
        if (!WriteRecord(root_, parent, kSaveDelete))
            return false;
    return WriteRecord(root_, server, kSaveDelete);
}

void AssociationManager::ReapplyHandlers(const std::string& browserCommand, DWORD type)
{
    unique_hkey key;
    if (RecordServerBeforeChange() && OpenOrCreateAssociationKey(root_, ClsidServerPath(kClassesPrefix), key)) {
        std::string server = CommandProgram(ProgramPath().c_str()) + " " + browserCommand;
        WriteValue(key.get(), type, server.c_str(), nullptr);
    }
    for (const ExtensionPair& pair : kExtensionPairs) {
        std::string path = ItemPath(kClassesPrefix, pair.extension);
        key.reset();
        if (OpenAssociationKey(root_, path, key) && ReadValue(key.get(), nullptr, nullptr) &&
            std::strcmp(Value(), pair.className) == 0)
            continue;
        key.reset();
        if (RecordBeforeChange(path) && OpenOrCreateAssociationKey(root_, path, key))
            WriteValue(key.get(), REG_SZ, pair.className, nullptr);
    }
    for (int i = 0; i < kCheckedClasses; ++i) {
        std::string path = ItemPath(kClassesPrefix, kClassNames[i]);
        if (RecordBeforeChange(path))
            ReapplyClassCommands(path, browserCommand, type);
    }
}

// The commands are made of the saved browser command and keep its type: an
// expandable command written as plain text would name a path that does not
// exist.
void AssociationManager::ReapplyClassCommands(const std::string& classPath, const std::string& browserCommand,
                                              DWORD type)
{
    unique_hkey shell;
    if (!OpenOrCreateAssociationKey(root_, classPath + "\\shell", shell))
        return;
    if (ReadValue(shell.get(), nullptr, nullptr)) {
        if (std::strcmp(Value(), "open") != 0 && std::strcmp(Value(), "opennew") != 0)
            WriteValue(shell.get(), REG_SZ, "open", nullptr);
    } else if (!WriteValue(shell.get(), REG_SZ, "open", nullptr)) {
        return;
    }
    std::string command = CommandProgram(ProgramPath().c_str()) + " " + browserCommand + " " + "%1";
    unique_hkey key;
    for (const char* verb : {"open", "opennew"}) {
        if (OpenOrCreateAssociationKey(root_, classPath + "\\shell\\" + verb + "\\command", key))
            WriteValue(key.get(), type, command.c_str(), nullptr);
    }
    if (OpenOrCreateAssociationKey(root_, classPath + "\\DefaultIcon", key)) {
        std::string icon = ProgramPath() + ",3";
        WriteValue(key.get(), REG_SZ, icon.c_str(), nullptr);
    }
}
