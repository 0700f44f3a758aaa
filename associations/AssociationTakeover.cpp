#include "associations/AssociationItems.h"
#include "associations/AssociationKeys.h"
#include "associations/AssociationManager.h"
#include "associations/SystemVersion.h"

#include <shlwapi.h>

#include <cstring>
#include <new>

namespace {

// The program path up to its file-name part, without the separating
// backslash: C:\Tools\Quillet\Quillet.exe gives C:\Tools\Quillet.
std::string ProgramFolder(const char* programPath)
{
    const char* at = std::strstr(programPath, PathFindFileNameA(programPath));
    size_t cut = at ? static_cast<size_t>(at - programPath) : 0;
    return std::string(programPath, cut > 0 ? cut - 1 : 0);
}

bool CopyMachineKey(const std::string& path, HKEY target)
{
    return SHCopyKeyA(HKEY_LOCAL_MACHINE, path.c_str(), target, 0) == ERROR_SUCCESS;
}

} // namespace

std::string CommandProgram(const char* programPath)
{
    // Unquoted, "C:\Program Files\...\Quillet.exe" would make process
    // creation try "C:\Program.exe" first, a file a limited user may be able
    // to plant, and it would run for every link the user opens.
    std::string program = programPath;
    if (program.find(' ') != std::string::npos && program[0] != '"')
        program = "\"" + program + "\"";
    return program;
}

bool WrappedCommand(const char* programPath, const std::string& command, std::string& wrapped)
{
    if (command.find(programPath) != std::string::npos)
        return false;
    if (command.find("rundll32") != std::string::npos)
        wrapped = command;
    else if (command.find("%1") != std::string::npos)
        wrapped = CommandProgram(programPath) + " " + command;
    else
        wrapped = CommandProgram(programPath) + " " + command + " " + "%1";
    return true;
}

bool AssociationManager::IsTakenOver(const char* programPath, const char* productName, HKEY root)
{
    StoreOperands(programPath, productName, root);
    bool open = OpenHKEY(FOLDER_SAVE, false);
    CloseHKEY(FOLDER_SAVE);
    return open;
}

int AssociationManager::SaveBrowser(const char* programPath, const char* productName, HKEY root)
{
    StoreOperands(programPath, productName, root);
    try {
        Log("<<<<< Begin Save Browser >>>>>");
        SetMainData();
        return SetSaveData();
    } catch (const std::bad_alloc&) {
        // Every step changes a key only after its copy and record exist, so
        // stopping here leaves a state the restore can undo.
        FreeBuffer();
        CloseHKEY(FOLDER_MAIN);
        CloseHKEY(FOLDER_SAVE);
        return 0;
    }
}

bool AssociationManager::SetMainData()
{
    Log("..... Set main data .....");
    bool written = false;
    if (!OpenHKEY(FOLDER_MAIN, true)) {
        Log("OpenHKEY(FOLDER_MAIN) -> Error");
    } else {
        const char* path = programPath_ ? programPath_ : "";
        written = WriteValue(mainKey_.get(), REG_SZ, path, "FileName");
        written = WriteValue(mainKey_.get(), REG_SZ, ProgramFolder(path).c_str(), "Folder") || written;
        Log("OpenHKEY(FOLDER_MAIN) -> Success");
        CloseHKEY(FOLDER_MAIN);
    }
    Log("..... End set main data .....");
    return written;
}

int AssociationManager::SetSaveData()
{
    Log("..... Set save data .....");
    int result = 0;
    if (OpenHKEY(FOLDER_SAVE, true)) {
        if (ReserveBuffer(1024)) {
            SetClsidData(root_, kClassesPrefix);
            for (const ExtensionPair& pair : kExtensionPairs)
                SetExtData(root_, kClassesPrefix, pair.extension, pair.className);
            for (const char* name : kClassNames)
                SetProtData(root_, kClassesPrefix, name);
            result = SetProtData(root_, kApplicationsPrefix, kApplicationName);
        }
        SaveCheckAssociations();
        FreeBuffer();
        CloseHKEY(FOLDER_SAVE);
    }
    Log("..... End set save data .....");
    return result;
}

// Saves the server command, records the key and wraps the command. The
// record goes in before the command changes, so that a change is never left
// without the record that undoes it.
int AssociationManager::WrapServerCommand(HKEY server, const std::string& record, const char* marker)
{
    DWORD type = REG_SZ;
    if (!ReadValue(server, &type, nullptr))
        return 0;
    std::string previous = Value();
    if (!WriteValue(saveKey_.get(), type, previous.c_str(), nullptr) ||
        !WriteValue(saveKey_.get(), REG_SZ, marker, record.c_str()))
        return 0;
    std::string wrapped = CommandProgram(ProgramPath().c_str()) + " " + previous;
    return WriteValue(server, type, wrapped.c_str(), nullptr) ? 1 : 0;
}

int AssociationManager::SetClsidData(HKEY root, const char* prefix)
{
    std::string server = ClsidServerPath(prefix);
    std::string record = SaveRecordName(root, server);
    Log("_____ Set CLSID data _____");
    Log("OpenHKEY CLISD data (%s) -> (%s)", server.c_str(), RootName(root));
    int result = 0;
    unique_hkey key;
    if (OpenAssociationKey(root, server, key)) {
        Log("OpenHKEY CLISD data (%s) -> Success (%s)", server.c_str(), RootName(root));
        if (SaveKeyCopy(server, root))
            result = WrapServerCommand(key.get(), record, kSaveRestore);
    } else if (!IsMachineRoot(root)) {
        std::string classPath = ClsidClassPath(prefix);
        std::vector<std::string> parents = MissingParents(root, classPath);
        bool created = false;
        if (OpenOrCreateAssociationKey(root, classPath, key, kCopyTargetAccess, &created)) {
            Log("Create HKEY CLSID data (%s) -> Sucess (%s)", classPath.c_str(), RootName(root));
            bool copied = CopyMachineKey(classPath, key.get());
            key.reset();
            if (copied && OpenAssociationKey(root, server, key))
                result = WrapServerCommand(key.get(), record, kSaveDelete);
            key.reset();
            SettleCreatedKey(root, classPath, parents, created, result != 0);
        }
    }
    Log("_____ End Set CLSID data _____");
    return result;
}

// Creates PATH under ROOT, spelt as the machine-wide key is, and copies that
// key into it. CREATED tells a caller that ends without a record whether
// there is a new key to take away again.
bool AssociationManager::CreateFromMachineKey(HKEY root, const std::string& path, unique_hkey& key, bool& created)
{
    if (!OpenOrCreateAssociationKey(root, StoredKeyPath(HKEY_LOCAL_MACHINE, path), key, kCopyTargetAccess, &created))
        return false;
    Log("Create HKEY Ext data (%s) -> Success (%s)", path.c_str(), RootName(root));
    return CopyMachineKey(path, key.get());
}

// A key kept after its creation has the parents created with it recorded
// for the restore; one not kept is taken away again, with those parents,
// when this takeover made it.
void AssociationManager::SettleCreatedKey(HKEY root, const std::string& path, const std::vector<std::string>& parents,
                                          bool created, bool kept)
{
    if (kept) {
        for (const std::string& parent : parents)
            WriteValue(saveKey_.get(), REG_SZ, kSaveDelete, SaveRecordName(root, parent).c_str());
    } else if (created) {
        DeleteCreatedKey(root, path, parents);
    }
}

int AssociationManager::SetExtData(HKEY root, const char* prefix, const char* extension, const char* className)
{
    std::string path = ItemPath(prefix, extension);
    std::string record = SaveRecordName(root, path);
    Log("_____ Set Ext data _____");
    Log("OpenHKEY Ext data (%s) -> (%s)", path.c_str(), RootName(root));
    int result = 0;
    unique_hkey key;
    if (OpenAssociationKey(root, path, key)) {
        Log("Create HKEY Ext data (%s) -> Success(%s)", path.c_str(), RootName(root));
        DWORD type = REG_SZ;
        bool readable = ReadValue(key.get(), &type, nullptr);
        if (!readable)
            type = REG_SZ;
        if ((!readable || std::strcmp(Value(), className) != 0) && SaveKeyCopy(path, root) &&
            WriteValue(saveKey_.get(), REG_SZ, kSaveRestore, record.c_str()))
            result = WriteValue(key.get(), type, className, nullptr) ? 1 : 0;
    } else if (!IsMachineRoot(root)) {
        std::vector<std::string> parents = MissingParents(root, path);
        bool created = false;
        if (CreateFromMachineKey(root, path, key, created) &&
            WriteValue(saveKey_.get(), REG_SZ, kSaveDelete, record.c_str()))
            result = WriteValue(key.get(), REG_SZ, className, nullptr) ? 1 : 0;
        key.reset();
        SettleCreatedKey(root, path, parents, created, result != 0);
    }
    Log("_____ End set Ext data _____");
    return result;
}

int AssociationManager::SetProtData(HKEY root, const char* prefix, const char* name)
{
    std::string path = ItemPath(prefix, name);
    std::string record = SaveRecordName(root, path);
    Log("_____ Set Prot data _____");
    Log("OpenHKEY Prot data (%s) -> (%s)", path.c_str(), RootName(root));
    int result = 0;
    unique_hkey key;
    if (OpenAssociationKey(root, path, key)) {
        Log("OpenHKEY Ext data (%s) -> Success (%s)", path.c_str(), RootName(root));
        if (SaveKeyCopy(path, root) && WriteValue(saveKey_.get(), REG_SZ, kSaveRestore, record.c_str()))
            result = RewriteClassCommands(root, path) ? 1 : 0;
    } else if (!IsMachineRoot(root)) {
        std::vector<std::string> parents = MissingParents(root, path);
        bool created = false;
        bool recorded = CreateFromMachineKey(root, path, key, created) &&
                        WriteValue(saveKey_.get(), REG_SZ, kSaveDelete, record.c_str());
        key.reset();
        SettleCreatedKey(root, path, parents, created, recorded);
        if (recorded)
            result = RewriteClassCommands(root, path) ? 1 : 0;
    }
    Log("_____ End set Prot data _____");
    return result;
}

bool AssociationManager::RewriteClassCommands(HKEY root, const std::string& classPath)
{
    bool iconWritten = false;
    unique_hkey icon;
    if (OpenOrCreateAssociationKey(root, classPath + "\\DefaultIcon", icon)) {
        std::string iconText = ProgramPath() + ",3";
        iconWritten = WriteValue(icon.get(), REG_SZ, iconText.c_str(), nullptr);
    }
    RewriteDefaultVerb(root, classPath);
    RewriteCommand(root, classPath, "open");
    RewriteCommand(root, classPath, "opennew");
    RewriteDdeExec(root, classPath, "open");
    RewriteDdeExec(root, classPath, "opennew");
    return iconWritten;
}

void AssociationManager::RewriteDefaultVerb(HKEY root, const std::string& classPath)
{
    std::string shellPath = classPath + "\\shell";
    unique_hkey shell;
    if (OpenAssociationKey(root, shellPath, shell)) {
        if (!ReadValue(shell.get(), nullptr, nullptr) ||
            (std::strcmp(Value(), "open") != 0 && std::strcmp(Value(), "opennew") != 0))
            WriteValue(shell.get(), REG_SZ, "open", nullptr);
    } else if (!IsMachineRoot(root) && OpenOrCreateAssociationKey(root, shellPath, shell, kCopyTargetAccess)) {
        if (CopyMachineKey(shellPath, shell.get()))
            WriteValue(shell.get(), REG_SZ, "open", nullptr);
    }
}

void AssociationManager::RewriteCommand(HKEY root, const std::string& classPath, const char* verb)
{
    std::string commandPath = classPath + "\\shell\\" + verb + "\\command";
    unique_hkey command;
    DWORD type = REG_SZ;
    if (OpenAssociationKey(root, commandPath, command)) {
        if (ReadValue(command.get(), &type, nullptr)) {
            WrapCommand(command.get(), type, Value());
            return;
        }
        unique_hkey machine;
        if (OpenAssociationKey(HKEY_LOCAL_MACHINE, commandPath, machine, KEY_READ) &&
            ReadValue(machine.get(), &type, nullptr))
            WrapCommand(command.get(), type, Value());
    } else if (!IsMachineRoot(root) && OpenOrCreateAssociationKey(root, commandPath, command, kCopyTargetAccess)) {
        if (CopyMachineKey(commandPath, command.get())) {
            if (ReadValue(command.get(), &type, nullptr))
                WrapCommand(command.get(), type, Value());
        } else if (std::strcmp(verb, "opennew") == 0) {
            // No new-window command anywhere: a verb without a command would
            // offer the user an entry that does nothing.
            command.reset();
            DeleteKeyTree(root, classPath + "\\shell\\opennew");
        }
    }
}

bool AssociationManager::WrapCommand(HKEY key, DWORD type, const std::string& value)
{
    std::string wrapped;
    return WrappedCommand(ProgramPath().c_str(), value, wrapped) && WriteValue(key, type, wrapped.c_str(), nullptr);
}

void AssociationManager::RewriteDdeExec(HKEY root, const std::string& classPath, const char* verb)
{
    // Over DDE the shell would hand the link to a browser that already runs,
    // unrestricted, and the wrapped command would never start.
    std::string ddePath = classPath + "\\shell\\" + verb + "\\ddeexec";
    unique_hkey dde;
    DWORD type = REG_SZ;
    if (!OpenAssociationKey(root, ddePath, dde) || !ReadValue(dde.get(), &type, nullptr))
        return;
    if (IsWindows2000()) {
        dde.reset();
        DeleteKeyTree(root, ddePath);
    } else {
        WriteValue(dde.get(), type, "", nullptr);
    }
}

void AssociationManager::SaveCheckAssociations()
{
    unique_hkey browser;
    if (!OpenOrCreateAssociationKey(root_, kBrowserMainKey, browser) || !ReserveBuffer(1024))
        return;
    // The browser's own value is changed only once the previous one is saved.
    std::string previous;
    if (ReadValue(browser.get(), nullptr, kCheckAssociations))
        previous = Value();
    if (OpenHKEY(FOLDER_SAVE, true) && WriteValue(saveKey_.get(), REG_SZ, previous.c_str(), kCheckAssociations))
        WriteValue(browser.get(), REG_SZ, "no", kCheckAssociations);
}

void AssociationManager::ReapplyTakeover(const char* programPath, const char* productName, HKEY root)
{
    StoreOperands(programPath, productName, root);
    try {
        std::string browserCommand;
        if (OpenHKEY(FOLDER_SAVE, false)) {
            CloseHKEY(FOLDER_SAVE);
            ReadSavedBrowserCommand(productName, browserCommand);
        }
        if (browserCommand.empty() || !ReserveBuffer(1024))
            return;
        ReapplyHandlers(browserCommand);
    } catch (const std::bad_alloc&) {
    }
    FreeBuffer();
}

void AssociationManager::ReapplyHandlers(const std::string& browserCommand)
{
    unique_hkey key;
    if (OpenOrCreateAssociationKey(root_, ClsidServerPath(kClassesPrefix), key)) {
        std::string server = CommandProgram(ProgramPath().c_str()) + " " + browserCommand;
        WriteValue(key.get(), REG_SZ, server.c_str(), nullptr);
    }
    for (const ExtensionPair& pair : kExtensionPairs) {
        if (OpenOrCreateAssociationKey(root_, ItemPath(kClassesPrefix, pair.extension), key) &&
            (!ReadValue(key.get(), nullptr, nullptr) || std::strcmp(Value(), pair.className) != 0))
            WriteValue(key.get(), REG_SZ, pair.className, nullptr);
    }
    for (int i = 0; i < kCheckedClasses; ++i)
        ReapplyClassCommands(ItemPath(kClassesPrefix, kClassNames[i]), browserCommand);
}

void AssociationManager::ReapplyClassCommands(const std::string& classPath, const std::string& browserCommand)
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
            WriteValue(key.get(), REG_SZ, command.c_str(), nullptr);
    }
    if (OpenOrCreateAssociationKey(root_, classPath + "\\DefaultIcon", key)) {
        std::string icon = ProgramPath() + ",3";
        WriteValue(key.get(), REG_SZ, icon.c_str(), nullptr);
    }
}
