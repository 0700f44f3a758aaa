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
    return CopyKeyTree(HKEY_LOCAL_MACHINE, path.c_str(), target);
}

// A key the takeover may make from the machine-wide one: there, and missing
// under the root. One under the root that only cannot be written (a
// read-only key) is the user's and stays as it is.
bool IsMissingMachineCopy(HKEY root, const std::string& path)
{
    return AssociationKeyExists(HKEY_LOCAL_MACHINE, path) && !AssociationKeyExists(root, path);
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

bool WrappedCommand(const char* programPath, const std::string& command, std::string& wrapped,
                    const std::string& previousProgram)
{
    if (NamesProgram(command, programPath))
        return false;
    // A wrap of a copy that was moved or renamed since: one program in front.
    size_t at = FindProgram(command, previousProgram);
    if (at != std::string::npos)
        wrapped = ReplaceProgram(command, at, previousProgram.size(), CommandProgram(programPath));
    else if (command.find("rundll32") != std::string::npos)
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
        // A save area already there is a takeover begun before, whose wraps
        // name the program path the main key holds until SetMainData
        // writes this one.
        resuming_ = OpenHKEY(FOLDER_SAVE, false);
        CloseHKEY(FOLDER_SAVE);
        previousProgram_ = ReadPreviousProgram();
        // Without a save area nothing may change, not even the main key.
        if (OpenHKEY(FOLDER_SAVE, true))
            SetMainData();
        else if (IsMachineRoot(root_))
            Log("The machine-wide root was left ( %s ): its save area cannot be made", RootName(root_));
        int result = SetSaveData();
        FreeBuffer();
        return result;
    } catch (const std::bad_alloc&) {
        // Every step changes a key only after its copy and record exist, so
        // stopping here leaves a state the restore can undo.
        FreeBuffer();
        CloseHKEY(FOLDER_MAIN);
        CloseHKEY(FOLDER_SAVE);
        return 0;
    }
}

std::string AssociationManager::ReadPreviousProgram()
{
    std::string previous;
    if (ReserveBuffer(1024) && OpenHKEY(FOLDER_MAIN, false) && ReadValue(mainKey_.get(), nullptr, "FileName"))
        previous = Value();
    CloseHKEY(FOLDER_MAIN);
    if (UpperCase(previous.c_str()) == UpperCase(ProgramPath().c_str()))
        previous.clear();
    return previous;
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

// A save area that is already there belongs to a takeover that was ended
// before it finished: each item's record tells how far it got, and each
// step below goes on from there.
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
            SetProtData(root_, kApplicationsPrefix, kApplicationName);
            result = 1;
        }
        SaveCheckAssociations();
        FreeBuffer();
        CloseHKEY(FOLDER_SAVE);
    }
    Log("..... End set save data .....");
    return result;
}

// The server command as it is now becomes the saved browser command; one
// that an ended run has wrapped already keeps the command saved then.
bool AssociationManager::SaveServerCommand(HKEY server)
{
    DWORD type = REG_SZ;
    if (!ReadValue(server, &type, nullptr))
        return false;
    std::string previous = Value();
    if (CommandOwner(previous, Programs()) == HandlerOwner::Quillet && ReadValue(saveKey_.get(), nullptr, nullptr))
        return true;
    return WriteValue(saveKey_.get(), type, previous.c_str(), nullptr);
}

// The server command gets the program in front, once: a command already
// naming it is a wrap that an ended takeover made.
int AssociationManager::WrapServer(HKEY server)
{
    DWORD type = REG_SZ;
    if (!ReadValue(server, &type, nullptr))
        return 0;
    std::string previous = Value();
    if (NamesProgram(previous, ProgramPath()))
        return 1;
    FlushRecords();
    std::string program = CommandProgram(ProgramPath().c_str());
    size_t at = FindProgram(previous, previousProgram_);
    std::string wrapped = at != std::string::npos ? ReplaceProgram(previous, at, previousProgram_.size(), program)
                                                  : program + " " + previous;
    return WriteValue(server, type, wrapped.c_str(), nullptr) ? 1 : 0;
}

int AssociationManager::SetClsidData(HKEY root, const char* prefix)
{
    std::string server = ClsidServerPath(prefix);
    std::string classPath = ClsidClassPath(prefix);
    Log("_____ Set CLSID data _____");
    Log("OpenHKEY CLISD data (%s) -> (%s)", server.c_str(), RootName(root));
    int result = 0;
    std::string serverRecord;
    std::string classRecord;
    bool serverRecorded = ReadRecord(root, server, serverRecord);
    bool classSaved = ReadRecord(root, classPath, classRecord) && classRecord == kSaveRestore;
    if (serverRecorded && serverRecord == kSaveRestore)
        RepairFromCopy(root, server);
    if (classSaved)
        RepairFromCopy(root, classPath);
    unique_hkey key;
    if (resuming_ && ServerHeld(root, server, serverRecorded ? serverRecord.c_str() : nullptr)) {
        result = 1;
    } else if (serverRecorded && serverRecord == kSaveRestore) {
        if (OpenAssociationKey(root, server, key))
            result = WrapServer(key.get());
    } else if (!serverRecorded && !classSaved && OpenAssociationKey(root, server, key)) {
        Log("OpenHKEY CLISD data (%s) -> Success (%s)", server.c_str(), RootName(root));
        // The record goes in before the command changes, so that a change
        // is never left without the record that undoes it.
        if (SaveKeyCopy(server, root) && SaveServerCommand(key.get()) && WriteRecord(root, server, kSaveRestore))
            result = WrapServer(key.get());
    } else if (!IsMachineRoot(root)) {
        Log("Create HKEY CLSID data (%s) -> Sucess (%s)", classPath.c_str(), RootName(root));
        if (classSaved || (!serverRecorded && AssociationKeyExists(root, classPath)))
            result = FillUserClass(root, prefix);
        else
            result = CreateClass(root, prefix);
    }
    Log("_____ End Set CLSID data _____");
    return result;
}

// The user's own class key without a server key (or with one that cannot
// be written) is saved whole, like every other key the takeover changes,
// before the machine-wide class is copied into it. The restore deletes the
// filled-in class and puts the saved one back.
int AssociationManager::FillUserClass(HKEY root, const char* prefix)
{
    std::string server = ClsidServerPath(prefix);
    std::string classPath = ClsidClassPath(prefix);
    std::string record;
    bool saved = ReadRecord(root, classPath, record) && record == kSaveRestore;
    if (!saved && !(SaveKeyCopy(classPath, root) && WriteRecord(root, classPath, kSaveRestore)))
        return 0;
    unique_hkey classKey;
    unique_hkey key;
    if (!WriteRecord(root, server, kSaveDelete))
        return 0;
    FlushRecords();
    if (
        !OpenAssociationKey(root, classPath, classKey, kCopyTargetAccess) || !CopyMachineKey(classPath, classKey.get()) ||
        !OpenAssociationKey(root, server, key) || !SaveServerCommand(key.get()))
        return 0;
    return WrapServer(key.get());
}

// No class key under the root: the machine-wide one is copied in and its
// server command wrapped; the restore deletes the whole class.
int AssociationManager::CreateClass(HKEY root, const char* prefix)
{
    std::string server = ClsidServerPath(prefix);
    std::string classPath = ClsidClassPath(prefix);
    std::string record;
    unique_hkey key;
    // Made whole by an ended run: it goes on from there.
    if (ReadRecord(root, server, record) && record == kSaveDelete &&
        IsWholeCopy(root, classPath, HKEY_LOCAL_MACHINE, classPath) && OpenAssociationKey(root, server, key) &&
        ReadValue(key.get(), nullptr, nullptr))
        return SaveServerCommand(key.get()) ? WrapServer(key.get()) : 0;
    key.reset();
    if (!AssociationKeyExists(HKEY_LOCAL_MACHINE, classPath) || !BeginCreatedKey(root, server, classPath))
        return 0;
    int result = 0;
    FlushRecords();
    if (OpenOrCreateAssociationKey(root, classPath, key, kCopyTargetAccess) && CopyMachineKey(classPath, key.get())) {
        key.reset();
        if (OpenAssociationKey(root, server, key) && SaveServerCommand(key.get()))
            result = WrapServer(key.get());
    }
    key.reset();
    if (result == 0)
        DropCreatedKey(root, server, classPath);
    return result;
}

// Creates PATH under ROOT, spelt as the machine-wide key is, and copies that
// key into it.
bool AssociationManager::CreateFromMachineKey(HKEY root, const std::string& path, unique_hkey& key)
{
    FlushRecords();
    if (!OpenOrCreateAssociationKey(root, StoredKeyPath(HKEY_LOCAL_MACHINE, path), key, kCopyTargetAccess))
        return false;
    Log("Create HKEY Ext data (%s) -> Success (%s)", path.c_str(), RootName(root));
    return CopyMachineKey(path, key.get());
}

// A key the takeover makes itself, from the machine-wide one: its records
// ("-@DELETE", and one for each parent that creating it brings along) go in
// before it exists, since a takeover ended between the key's creation and
// its record would leave a key that the next run takes for the user's own.
// A key recorded so by an ended run is made again from the start.
bool AssociationManager::BeginCreatedKey(HKEY root, const std::string& recordPath, const std::string& keyPath)
{
    std::string record;
    bool recorded = ReadRecord(root, recordPath, record);
    if (recorded && record != kSaveDelete)
        return false;
    if (recorded)
        DeleteKeyTree(root, keyPath);
    // An uninstall ended while it dropped the records may have taken a
    // parent's record and left the key's own: the parents are recorded again.
    for (const std::string& parent : MissingParents(root, keyPath)) {
        if (!WriteRecord(root, parent, kSaveDelete)) {
            DropCreatedKey(root, recordPath, keyPath);
            return false;
        }
    }
    if (recorded || WriteRecord(root, recordPath, kSaveDelete))
        return true;
    DropCreatedKey(root, recordPath, keyPath);
    return false;
}

// Takes a created key away again after a step failed, and its records with
// it: a "-@DELETE" record left behind would make a later restore delete
// whatever key sits at that path by then. The key goes before its records,
// so that no moment leaves it without them.
void AssociationManager::DropCreatedKey(HKEY root, const std::string& recordPath, const std::string& keyPath)
{
    DeleteKeyTree(root, keyPath);
    RemoveCreatedParents(root, keyPath);
    RemoveRecord(root, recordPath);
    std::string parent = keyPath;
    for (size_t cut; (cut = parent.rfind('\\')) != std::string::npos;) {
        parent.resize(cut);
        std::string record;
        if (!ReadRecord(root, parent, record) || record != kSaveDelete || AssociationKeyExists(root, parent))
            return;
        RemoveRecord(root, parent);
    }
}

// A key with a "-@RESTORE" record that is missing, or lacks keys of its
// saved copy, was being given back by an uninstall that was ended: the copy
// goes back in whole first, and the takeover starts from it again.
void AssociationManager::RepairFromCopy(HKEY root, const std::string& path)
{
    std::string copyPath = FolderPath(FOLDER_SAVE) + "\\" + path;
    if (AssociationKeyExists(root_, copyPath) && !IsWholeCopy(root, path, root_, copyPath))
        RestoreKeyCopy(path, root);
}

// True when every key and value below SOURCEPATH under SOURCEROOT is there
// below PATH under ROOT too. The takeover deletes no key or value but the
// DDE keys on Windows 2000, which are not compared there.
bool AssociationManager::IsWholeCopy(HKEY root, const std::string& path, HKEY sourceRoot,
                                     const std::string& sourcePath)
{
    unique_hkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    unique_hkey source;
    if (RegOpenKeyExA(sourceRoot, sourcePath.c_str(), 0, KEY_READ, source.put()) != ERROR_SUCCESS)
        return true;
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(source.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
    }
    bool windows2000 = IsWindows2000();
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExA(source.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return true;
        if ((!windows2000 || lstrcmpiA(name, "ddeexec") != 0) &&
            !IsWholeCopy(root, path + "\\" + name, sourceRoot, sourcePath + "\\" + name))
            return false;
    }
}

// The extension's default value becomes its class; the type stays.
int AssociationManager::SetExtensionClass(HKEY key, const char* className)
{
    DWORD type = REG_SZ;
    bool readable = ReadValue(key, &type, nullptr);
    if (readable && std::strcmp(Value(), className) == 0)
        return 1;
    FlushRecords();
    return WriteValue(key, readable ? type : REG_SZ, className, nullptr) ? 1 : 0;
}

int AssociationManager::SetExtData(HKEY root, const char* prefix, const char* extension, const char* className)
{
    std::string path = ItemPath(prefix, extension);
    Log("_____ Set Ext data _____");
    Log("OpenHKEY Ext data (%s) -> (%s)", path.c_str(), RootName(root));
    int result = 0;
    std::string record;
    bool recorded = ReadRecord(root, path, record);
    if (recorded && record == kSaveRestore)
        RepairFromCopy(root, path);
    unique_hkey key;
    if (resuming_ && ExtensionHeld(root, path, className, recorded ? record.c_str() : nullptr)) {
        result = 1;
    } else if (recorded && record == kSaveDelete && !IsEmptyKey(root, path) && OpenAssociationKey(root, path, key)) {
        // Created and copied by an ended run: only the class may be missing.
        result = SetExtensionClass(key.get(), className);
    } else if ((!recorded || record == kSaveRestore) && OpenAssociationKey(root, path, key)) {
        Log("Create HKEY Ext data (%s) -> Success(%s)", path.c_str(), RootName(root));
        if (recorded)
            result = SetExtensionClass(key.get(), className);
        else if ((!ReadValue(key.get(), nullptr, nullptr) || std::strcmp(Value(), className) != 0) &&
                 SaveKeyCopy(path, root) && WriteRecord(root, path, kSaveRestore))
            result = SetExtensionClass(key.get(), className);
    } else if (!IsMachineRoot(root) && (recorded || IsMissingMachineCopy(root, path)) &&
               BeginCreatedKey(root, path, path)) {
        if (CreateFromMachineKey(root, path, key))
            result = WriteValue(key.get(), REG_SZ, className, nullptr) ? 1 : 0;
        key.reset();
        if (result == 0)
            DropCreatedKey(root, path, path);
    }
    Log("_____ End set Ext data _____");
    return result;
}

int AssociationManager::SetProtData(HKEY root, const char* prefix, const char* name)
{
    std::string path = ItemPath(prefix, name);
    Log("_____ Set Prot data _____");
    Log("OpenHKEY Prot data (%s) -> (%s)", path.c_str(), RootName(root));
    int result = 0;
    std::string record;
    bool recorded = ReadRecord(root, path, record);
    if (recorded && record == kSaveRestore)
        RepairFromCopy(root, path);
    unique_hkey key;
    if (resuming_ && ClassHeld(root, path, recorded ? record.c_str() : nullptr)) {
        result = 1;
    } else if (recorded && record == kSaveDelete && !IsEmptyKey(root, path) &&
               IsWholeCopy(root, path, HKEY_LOCAL_MACHINE, path)) {
        // Created and copied by an ended run: it is finished, not made again.
        result = RewriteClassCommands(root, path) ? 1 : 0;
    } else if ((!recorded || record == kSaveRestore) && OpenAssociationKey(root, path, key)) {
        Log("OpenHKEY Ext data (%s) -> Success (%s)", path.c_str(), RootName(root));
        if (recorded || (SaveKeyCopy(path, root) && WriteRecord(root, path, kSaveRestore)))
            result = RewriteClassCommands(root, path) ? 1 : 0;
    } else if (!IsMachineRoot(root) && (recorded || IsMissingMachineCopy(root, path)) &&
               BeginCreatedKey(root, path, path)) {
        bool copied = CreateFromMachineKey(root, path, key);
        key.reset();
        if (copied)
            result = RewriteClassCommands(root, path) ? 1 : 0;
        else
            DropCreatedKey(root, path, path);
    }
    Log("_____ End set Prot data _____");
    return result;
}

bool AssociationManager::RewriteClassCommands(HKEY root, const std::string& classPath)
{
    FlushRecords();
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
            ReadValue(machine.get(), &type, nullptr)) {
            WrapCommand(command.get(), type, Value());
        } else if (std::strcmp(verb, "opennew") == 0 && !IsMachineRoot(root) && IsEmptyKey(root, commandPath) &&
                   !AssociationKeyExists(HKEY_LOCAL_MACHINE, commandPath) &&
                   !AssociationKeyExists(root_, FolderPath(FOLDER_SAVE) + "\\" + commandPath)) {
            // Neither the key before the takeover nor the machine-wide one
            // had it: an ended run created it and was stopped before it
            // could take the verb away again.
            command.reset();
            DeleteKeyTree(root, classPath + "\\shell\\opennew");
        }
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
    return WrappedCommand(ProgramPath().c_str(), value, wrapped, previousProgram_) && WriteValue(key, type, wrapped.c_str(), nullptr);
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
    if (!OpenOrCreateAssociationKey(root_, kBrowserMainKey, browser) || !ReserveBuffer(1024) ||
        !OpenHKEY(FOLDER_SAVE, true))
        return;
    // The browser's own value is changed only once the previous one is
    // saved; a value saved by an ended takeover stays, since the browser's
    // key may already hold the "no" written after it.
    bool saved = ReadValue(saveKey_.get(), nullptr, kCheckAssociations);
    if (!saved) {
        std::string previous;
        if (ReadValue(browser.get(), nullptr, kCheckAssociations))
            previous = Value();
        saved = WriteValue(saveKey_.get(), REG_SZ, previous.c_str(), kCheckAssociations);
    }
    if (saved) {
        FlushRecords();
        WriteValue(browser.get(), REG_SZ, "no", kCheckAssociations);
    }
}
