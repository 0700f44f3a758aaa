// One association operation's object: the program path and product name it
// works for, the registry root it works in, the two product keys while they
// are open, the buffer every registry value is read into and the log of the
// operation. Construct it on the stack for one operation and let it go.
//
// The save area "SOFTWARE\Orvane\<product>\Save" under the root records what
// the takeover changed, so that the restore can give it back:
//   default value            the browser's previous server command
//   "Check_Associations"     the browser's previous value ("" when it had none)
//   "<root>_>:<key path>"    "-@RESTORE" (the key's copy lies at the same path
//                            below the save key) or "-@DELETE" (the takeover
//                            created the key; the restore deletes it). A key
//                            created with parents that did not exist either
//                            ("Software\Classes\CLSID" for a per-user COM
//                            class) records each of them "-@DELETE" as well;
//                            the restore takes them away once they are empty.
//                            A per-user COM class key without a server key
//                            of its own is recorded "-@RESTORE" under the
//                            class key's path, with its copy there.
#pragma once

#include "associations/HandlerOwner.h"
#include "common/UniqueHandle.h"
#include "programwide/DiagnosticLog.h"

#include <windows.h>
#include <set>
#include <string>
#include <vector>

enum AssociationFolder { FOLDER_MAIN, FOLDER_SAVE };

// How the handlers are judged: before a takeover a command must name the
// browser alone; after it, the browser and Quillet.
enum VerifyMode { AfterTakeover = 0, BeforeTakeover = 1 };

// Results of the single checks.
enum CheckResult { CheckUnjudged = -1, CheckFault = 0, CheckPassed = 1, CheckNoDefaultValue = 3 };

extern const char kSaveRestore[];   // "-@RESTORE"
extern const char kSaveDelete[];    // "-@DELETE"

class AssociationManager {
public:
    AssociationManager() noexcept;
    ~AssociationManager() = default;
    AssociationManager(const AssociationManager&) = delete;
    AssociationManager& operator=(const AssociationManager&) = delete;

    // Lines of the takeover and verification go to PATH; empty or null: none.
    void SetLogFile(const char* path) noexcept;

    // Takeover (each entry stores program path, product name and root first).
    bool IsTakenOver(const char* programPath, const char* productName, HKEY root);
    // 1 when the root's save area holds the takeover (made now or before)
    // and every item was worked on; 0 when nothing could be taken over.
    int SaveBrowser(const char* programPath, const char* productName, HKEY root);
    // True when every item the takeover works on runs Quillet now (a
    // rundll32 command passes unchanged), or was left to another program by
    // this manager's SaveBrowser; a per-user key missing where the
    // machine-wide one exists is a fault.
    bool IsTakeoverComplete(const char* programPath, const char* productName, HKEY root);
    void ReapplyTakeover(const char* programPath, const char* productName, HKEY root);

    // Restore and verification.
    int RestoreAssociations(const char* programPath, const char* productName, HKEY root);
    bool FindAssociationFault(const char* programPath, const char* productName, HKEY root, VerifyMode mode);
    bool IsTakeoverBroken(const char* programPath, const char* productName, HKEY root, VerifyMode mode);
    bool RunErrorTest(const char* programPath, const char* productName, HKEY root, VerifyMode mode);

    // Finding the browser (no log lines). TYPE (optional) receives the
    // saved command's value type.
    bool ReadSavedBrowserCommand(const char* productName, std::string& command, DWORD* type = nullptr);
    bool LocateBrowserFromSetup(std::string& path);

    // True when the last restore left a saved copy that could not be put
    // back; the save area is then kept so that a later restore can retry.
    bool RestoreIncomplete() const noexcept { return restoreIncomplete_; }

    // --- Registry helpers ---------------------------------------------------

    // Grows the value buffer (contents kept): a fresh buffer gets exactly
    // SIZE bytes; a larger request adds SIZE rounded up to 1024 bytes.
    bool ReserveBuffer(DWORD size) noexcept;
    void FreeBuffer() noexcept;
    DWORD BufferCapacity() const noexcept { return capacity_; }

    // Reads a value (null name: the default value) into the buffer, always
    // zero-terminated even when the stored bytes are not.
    bool ReadValue(HKEY key, DWORD* type, const char* name);
    const char* Value() const noexcept { return buffer_.empty() ? "" : buffer_.data(); }

    // Writes TEXT with its terminating zero (null text: 0 bytes).
    bool WriteValue(HKEY key, DWORD type, const char* text, const char* name) noexcept;

    // Opens (or, with CREATE, creates) the product key of FOLDER under ROOT
    // (null: the manager's root); true at once when it is already open.
    bool OpenHKEY(AssociationFolder folder, bool create, HKEY root = nullptr);
    void CloseHKEY(AssociationFolder folder) noexcept;
    HKEY FolderKey(AssociationFolder folder) const noexcept;
    std::string FolderPath(AssociationFolder folder) const;

    // Copies the tree at PATH under SOURCEROOT into the save area.
    bool SaveKeyCopy(const std::string& path, HKEY sourceRoot);
    // Puts the saved copy of PATH back in place of the key under TARGETROOT.
    bool RestoreKeyCopy(const std::string& path, HKEY targetRoot);

    static const char* RootName(HKEY root) noexcept;
    static std::string SaveRecordName(HKEY root, const std::string& path);

    // --- Checks (public for the settings dialog's tests) --------------------

    bool VerifyAssociations(VerifyMode mode);
    int AnalyzeCommand(const char* command, VerifyMode mode);

private:
    std::string ProgramPath() const { return programPath_ ? programPath_ : ""; }
    void StoreOperands(const char* programPath, const char* productName, HKEY root) noexcept;
    void Log(const char* line) noexcept { log_.WriteRaw(line); }
    template <typename... Args>
    void Log(const char* format, Args... arguments) noexcept { log_.WriteFormat(format, arguments...); }

    // Takeover steps.
    std::string ReadPreviousProgram();
    std::vector<std::string> Programs() const { return {ProgramPath(), previousProgram_}; }
    bool IsHeld(HKEY root, const std::string& path) const;
    void NoteHeld(HKEY root, const std::string& path, const std::string& where, const std::string& found);
    bool FoundBefore(const char* record, const std::string& path, const std::string& found);
    bool ClassHeld(HKEY root, const std::string& classPath, const char* record);
    bool ExtensionHeld(HKEY root, const std::string& path, const char* className, const char* record);
    bool ServerHeld(HKEY root, const std::string& serverPath, const char* record);
    HandlerOwner ClassOwner(HKEY root, const std::string& classPath, std::string& where, std::string& found,
                            std::string& foundPath);
    // The command the shell runs for COMMANDPATH: ROOT's own, or the
    // machine-wide one where ROOT has none; into Value(), with the root it
    // came from in FROM. False when neither has one.
    bool ReadShownCommand(HKEY root, const std::string& commandPath, HKEY& from);
    void FlushRecords();
    void FlushClasses(HKEY root);
    bool SetMainData();
    int SetSaveData();
    int SetClsidData(HKEY root, const char* prefix);
    int SetExtData(HKEY root, const char* prefix, const char* extension, const char* className);
    int SetProtData(HKEY root, const char* prefix, const char* name);
    int FillUserClass(HKEY root, const char* prefix);
    int CreateClass(HKEY root, const char* prefix);
    bool SaveServerCommand(HKEY server);
    int WrapServer(HKEY server);
    int SetExtensionClass(HKEY key, const char* className);
    bool CreateFromMachineKey(HKEY root, const std::string& path, unique_hkey& key);
    void RepairFromCopy(HKEY root, const std::string& path);
    bool IsWholeCopy(HKEY root, const std::string& path, HKEY sourceRoot, const std::string& sourcePath);
    bool BeginCreatedKey(HKEY root, const std::string& recordPath, const std::string& keyPath);
    void DropCreatedKey(HKEY root, const std::string& recordPath, const std::string& keyPath);
    bool RewriteClassCommands(HKEY root, const std::string& classPath);
    void RewriteDefaultVerb(HKEY root, const std::string& classPath);
    void RewriteCommand(HKEY root, const std::string& classPath, const char* verb);
    void RewriteDdeExec(HKEY root, const std::string& classPath, const char* verb);
    bool WrapCommand(HKEY key, DWORD type, const std::string& value);
    void SaveCheckAssociations();
    bool RecordBeforeChange(const std::string& path);
    bool RecordServerBeforeChange();
    void ReapplyHandlers(const std::string& browserCommand, DWORD type);
    void ReapplyClassCommands(const std::string& classPath, const std::string& browserCommand, DWORD type);

    // Save records of the open save key.
    bool ReadRecord(HKEY root, const std::string& path, std::string& record);
    bool WriteRecord(HKEY root, const std::string& path, const char* marker) noexcept;
    void RemoveRecord(HKEY root, const std::string& path);

    // Restore steps.
    bool RestoreClsidData(HKEY root, const char* prefix);
    bool RestoreKeyData(HKEY root, const char* prefix, const char* name);
    bool RestoreRecordedKey(HKEY root, const std::string& recordPath, const std::string& deletePath);
    bool GiveUpHeldItem(HKEY root, const std::string& recordPath, const std::string& record);
    void TakeProgramOut(HKEY root, const std::string& path);
    void TakeProgramOutOfValue(HKEY root, const std::string& path);
    void PutBackMachineIcon(HKEY root, const std::string& classPath);
    void DropRecord(HKEY root, const std::string& path);
    bool DeleteOrGone(HKEY root, const std::string& path);
    void RemoveCreatedParents(HKEY root, const std::string& path);
    void RestoreCheckAssociations();
    void RemoveSaveArea();

    // Verification steps.
    int CheckClsid(HKEY root, const char* prefix, VerifyMode mode);
    int CheckExtension(HKEY root, const char* prefix, const char* extension, const char* className);
    int CheckClass(HKEY root, const char* prefix, const char* name, VerifyMode mode);
    int CheckCommands(HKEY root, const char* prefix, const char* name, VerifyMode mode);
    int CheckCommand(HKEY root, const std::string& commandPath, VerifyMode mode);
    bool ServerComplete(HKEY root);
    bool ExtensionComplete(HKEY root, const char* extension, const char* className);
    bool ClassComplete(HKEY root, const std::string& classPath);
    bool CommandComplete(HKEY root, const std::string& commandPath);
    void ErrorTest(VerifyMode mode);

    const char* programPath_ = nullptr;
    const char* productName_ = nullptr;
    HKEY root_ = HKEY_CURRENT_USER;
    unique_hkey saveKey_;
    unique_hkey mainKey_;
    std::vector<char> buffer_;
    DWORD capacity_ = 0;
    LogChannel log_;
    bool restoreIncomplete_ = false;
    // The program path the wraps of an earlier run hold (the main key's
    // "FileName" before this run wrote it).
    std::string previousProgram_;
    // A save area was there before this SaveBrowser: it goes on with it.
    bool resuming_ = false;
    // "<root>\<path>" of the items this manager's takeover left to another
    // program.
    std::set<std::string> held_;
    // Records written since the save area was last flushed to disk.
    bool recordsUnflushed_ = false;
};

// The program path as a command line's program: quoted when it holds a blank.
std::string CommandProgram(const char* programPath);

// Wraps a handler command so that Quillet runs it: the program path (see
// CommandProgram) and a blank go in front, and " %1" after it when it has no "%1" of its own.
// False when the command is to be left alone (it already names the program);
// a "rundll32" command comes back unchanged.
// A command that names PREVIOUSPROGRAM (a moved or renamed Quillet) gets the
// program path in its place instead of a second wrap.
bool WrappedCommand(const char* programPath, const std::string& command, std::string& wrapped,
                    const std::string& previousProgram = std::string());
