#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"

#include <cstring>
#include <new>

// The check behind "-INSTALL"'s answer: every item the takeover works on,
// ".shtml", "InternetShortcut" and the application entry included, judged
// as the shell will find it. It writes no log lines; the takeover has
// written what it found.

namespace {

// A key the takeover would have made from the machine-wide one is missing
// under the root: the shell runs the machine-wide handler, unwrapped.
bool MissingOverMachineKey(HKEY root, const std::string& path)
{
    return !IsMachineRoot(root) && AssociationKeyExists(HKEY_LOCAL_MACHINE, path);
}

} // namespace

bool AssociationManager::IsTakeoverComplete(const char* programPath, const char* productName, HKEY root)
{
    StoreOperands(programPath, productName, root);
    bool complete = false;
    try {
        complete = ReserveBuffer(1024) && ServerComplete(root);
        for (const ExtensionPair& pair : kExtensionPairs)
            complete = complete && ExtensionComplete(root, pair.extension, pair.className);
        for (const char* name : kClassNames)
            complete = complete && ClassComplete(root, ItemPath(kClassesPrefix, name));
        complete = complete && ClassComplete(root, ItemPath(kApplicationsPrefix, kApplicationName));
    } catch (const std::bad_alloc&) {
        complete = false;
    }
    FreeBuffer();
    return complete;
}

bool AssociationManager::ServerComplete(HKEY root)
{
    std::string server = ClsidServerPath(kClassesPrefix);
    unique_hkey key;
    if (!OpenAssociationKey(root, server, key, KEY_READ))
        return !MissingOverMachineKey(root, server);
    if (!ReadValue(key.get(), nullptr, nullptr))
        return false;
    return CommandOwner(Value(), {ProgramPath()}) == HandlerOwner::Quillet || IsHeld(root, server);
}

bool AssociationManager::ExtensionComplete(HKEY root, const char* extension, const char* className)
{
    std::string path = ItemPath(kClassesPrefix, extension);
    unique_hkey key;
    if (!OpenAssociationKey(root, path, key, KEY_READ))
        return !MissingOverMachineKey(root, path);
    return (ReadValue(key.get(), nullptr, nullptr) && std::strcmp(Value(), className) == 0) || IsHeld(root, path);
}

bool AssociationManager::ClassComplete(HKEY root, const std::string& classPath)
{
    if (IsHeld(root, classPath))
        return true;
    if (!AssociationKeyExists(root, classPath))
        return !MissingOverMachineKey(root, classPath);
    unique_hkey shell;
    // An empty verb is no verb: the shell then uses "open".
    if (OpenAssociationKey(root, classPath + "\\shell", shell, KEY_READ) && ReadValue(shell.get(), nullptr, nullptr) &&
        Value()[0] != '\0' && std::strcmp(Value(), "open") != 0 && std::strcmp(Value(), "opennew") != 0)
        return false;
    return CommandComplete(root, classPath + "\\shell\\open\\command") &&
           CommandComplete(root, classPath + "\\shell\\opennew\\command");
}

// The root's command, or the machine-wide one showing through where the
// root has none, runs Quillet; a rundll32 command passes as it is.
bool AssociationManager::CommandComplete(HKEY root, const std::string& commandPath)
{
    HKEY from = root;
    if (!ReadShownCommand(root, commandPath, from))
        return true;
    HandlerOwner owner = CommandOwner(Value(), {ProgramPath()});
    return owner == HandlerOwner::Quillet || owner == HandlerOwner::Neutral;
}
