#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"

#include <cstring>

// Items that another program holds now. A user who makes another browser
// the handler after the takeover has chosen it: a later takeover run leaves
// the item as it is and names it in the log, and the restore gives nothing
// back over it.

namespace {

std::string Where(HKEY root, const std::string& path)
{
    return std::string(AssociationManager::RootName(root)) + "\\" + path;
}

} // namespace

bool AssociationManager::IsHeld(HKEY root, const std::string& path) const
{
    return held_.count(Where(root, path)) != 0;
}

void AssociationManager::NoteHeld(HKEY root, const std::string& path, const std::string& where,
                                  const std::string& found)
{
    held_.insert(Where(root, path));
    Log("Held by another program ( %s ) -> %s", where.c_str(), found.c_str());
}

// The class's open and new-window commands as the shell finds them: the
// root's own, or the machine-wide one where the root has none. Another
// program's command anywhere makes the class another program's; one still
// the browser's alone makes it unfinished.
HandlerOwner AssociationManager::ClassOwner(HKEY root, const std::string& classPath, std::string& where,
                                            std::string& found, std::string& foundPath)
{
    HandlerOwner owner = HandlerOwner::Neutral;
    for (const char* verb : {"open", "opennew"}) {
        std::string commandPath = classPath + "\\shell\\" + verb + "\\command";
        HKEY from = root;
        if (!ReadShownCommand(root, commandPath, from))
            continue;
        HandlerOwner command = CommandOwner(Value(), Programs());
        if (command == HandlerOwner::Other) {
            where = Where(from, commandPath);
            found = Value();
            foundPath = commandPath;
            return command;
        }
        if (command == HandlerOwner::Browser)
            owner = command;
        else if (command == HandlerOwner::Quillet && owner != HandlerOwner::Browser)
            owner = command;
    }
    return owner;
}

bool AssociationManager::ReadShownCommand(HKEY root, const std::string& commandPath, HKEY& from)
{
    unique_hkey key;
    from = root;
    if (OpenAssociationKey(root, commandPath, key, KEY_READ) && ReadValue(key.get(), nullptr, nullptr))
        return true;
    key.reset();
    from = HKEY_LOCAL_MACHINE;
    return !IsMachineRoot(root) && OpenAssociationKey(from, commandPath, key, KEY_READ) &&
           ReadValue(key.get(), nullptr, nullptr);
}

// Another program's command that the record found as it is now was there
// before the takeover: it is no later choice. RECORD null: no record.
bool AssociationManager::FoundBefore(const char* record, const std::string& path, const std::string& found)
{
    unique_hkey before;
    bool open = false;
    if (record && std::strcmp(record, kSaveRestore) == 0)
        open = OpenAssociationKey(root_, FolderPath(FOLDER_SAVE) + "\\" + path, before, KEY_READ);
    else if (record && std::strcmp(record, kSaveDelete) == 0)
        open = OpenAssociationKey(HKEY_LOCAL_MACHINE, path, before, KEY_READ);
    return open && ReadValue(before.get(), nullptr, nullptr) && found == Value();
}

bool AssociationManager::ClassHeld(HKEY root, const std::string& classPath, const char* record)
{
    std::string where;
    std::string found;
    std::string foundPath;
    if (ClassOwner(root, classPath, where, found, foundPath) != HandlerOwner::Other ||
        FoundBefore(record, foundPath, found))
        return false;
    NoteHeld(root, classPath, where, found);
    return true;
}

bool AssociationManager::ServerHeld(HKEY root, const std::string& serverPath, const char* record)
{
    unique_hkey key;
    if (!OpenAssociationKey(root, serverPath, key, KEY_READ) || !ReadValue(key.get(), nullptr, nullptr) ||
        CommandOwner(Value(), Programs()) != HandlerOwner::Other)
        return false;
    std::string found = Value();
    if (FoundBefore(record, serverPath, found))
        return false;
    NoteHeld(root, serverPath, Where(root, serverPath), found);
    return true;
}

// An extension naming another class than its own is another program's,
// unless it is still what the record found: the saved copy's class for
// "-@RESTORE", the machine-wide one for "-@DELETE" (RECORD null: none).
bool AssociationManager::ExtensionHeld(HKEY root, const std::string& path, const char* className,
                                       const char* record)
{
    unique_hkey key;
    if (!OpenAssociationKey(root, path, key, KEY_READ) || !ReadValue(key.get(), nullptr, nullptr) ||
        std::strcmp(Value(), className) == 0)
        return false;
    std::string found = Value();
    if (FoundBefore(record, path, found))
        return false;
    NoteHeld(root, path, Where(root, path), found);
    return true;
}
