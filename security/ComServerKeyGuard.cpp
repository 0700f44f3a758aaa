#include "security/ComServerKeyGuard.h"

#include "common/AtlException.h"
#include "common/TwoCall.h"
#include "common/UniqueHandle.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "security/AceList.h"
#include "security/KeyLockHolders.h"
#include "security/SecurityDescriptorHolder.h"
#include "security/SidHolder.h"

#include <sddl.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string>
#include <vector>

static const char guardedKeyPath[] =
    "software\\classes\\clsid\\{73B24247-042E-4EF5-ADC2-42F62E6FD654}\\InprocServer32";

// The key that holds the snapshot: only Administrators and SYSTEM may write
// it, so a browser under the restricted token (Administrators deny-only)
// cannot plant a DACL there for the next run to apply with full rights.
static const char snapshotKeySddl[] = "O:BAD:P(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)";

// Rights on a key that let a holder change what the key says.
static const ACCESS_MASK keyWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                          DELETE | WRITE_DAC | WRITE_OWNER;

// The DACL the guarded key had before it was locked; non-null while there
// is something to put back at exit.
static unique_hlocal g_savedDescriptor;

static std::string ProductKeyPath()
{
    return std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption;
}

static std::string SnapshotKeyPath()
{
    return ProductKeyPath() + "\\Lock";
}

static std::string SavedValueName(int index)
{
    char name[32];
    snprintf(name, sizeof name, "SaveSD%d", index);
    return name;
}

static bool IsAdministratorsOrSystem(PSID sid)
{
    return sid && IsValidSid(sid) &&
           (EqualSid(sid, AdministratorsSid().Sid()) || EqualSid(sid, LocalSystemSid().Sid()));
}

static ACCESS_MASK KeyRights(ACCESS_MASK mask)
{
    GENERIC_MAPPING keyMapping = {KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
    MapGenericMask(&mask, &keyMapping);
    return mask;
}

// True when nobody but Administrators and SYSTEM owns the key or may write
// it, and its DACL is set on it rather than inherited: then its text can
// only have come from a run of Quillet.
static bool OnlyAdministratorsWrite(HKEY key)
{
    std::vector<BYTE> descriptor;
    if (!ReadTwoCall(descriptor, [&](void* data, DWORD size, DWORD* needed) {
            *needed = size;
            return ReportStatus(RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                  data, needed));
        }))
        return false;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    // Protected: a key that only inherits its DACL was made by somebody else.
    if (!GetSecurityDescriptorControl(descriptor.data(), &control, &revision) || !(control & SE_DACL_PROTECTED) ||
        !GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) || !IsAdministratorsOrSystem(owner) ||
        !GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted) || !present || !dacl)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            return false;
        if (header->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            return false;
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if ((KeyRights(allowed->Mask) & keyWriteRights) && !IsAdministratorsOrSystem(&allowed->SidStart))
            return false;
    }
    return true;
}

// A new snapshot key with the DACL above.
static bool CreateSnapshotKey(unique_hkey& key)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(snapshotKeySddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    unique_hlocal descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SnapshotKeyPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        &attributes, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    // Set once more: Wine gives a new key the inherited DACL and an owner of
    // its own, whatever the attributes say.
    return RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor) ==
           ERROR_SUCCESS;
}

// The snapshot key, or false. A key that others can own or write is never
// read, and goes: its text may be anybody's. CREATE makes a new one.
static bool OpenSnapshotKey(unique_hkey& key, bool create)
{
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SnapshotKeyPath().c_str(), 0, KEY_ALL_ACCESS, key.put()) ==
        ERROR_SUCCESS) {
        if (OnlyAdministratorsWrite(key.get()))
            return true;
        hookLog.WriteFormat("KEY LOCK: HKLM\\%s is open to others, removed", SnapshotKeyPath().c_str());
        key.reset();
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, SnapshotKeyPath().c_str());
    }
    key.reset();
    return create && CreateSnapshotKey(key) && OnlyAdministratorsWrite(key.get());
}

bool SaveKeySecurity(int index, PSECURITY_DESCRIPTOR descriptor)
{
    char* text = nullptr;
    if (!descriptor ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return false;
    unique_hlocal textOwner(text);
    unique_hkey key;
    if (!OpenSnapshotKey(key, true))
        return false;
    return RegSetValueExA(key.get(), SavedValueName(index).c_str(), 0, REG_SZ, (const BYTE*)text,
                          (DWORD)strlen(text) + 1) == ERROR_SUCCESS;
}

// REG_SZ or REG_EXPAND_SZ text ending with its terminator.
static bool ReadText(HKEY key, const char* name, std::string& text)
{
    DWORD type = REG_NONE;
    if (!ReadTwoCall(text, [&](void* data, DWORD size, DWORD* needed) {
            *needed = size;
            return ReportStatus(RegQueryValueExA(key, name, nullptr, &type, (BYTE*)data, needed));
        }))
        return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || text.empty() || text.back() != '\0') {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

bool LoadKeySecurity(int index, PSECURITY_DESCRIPTOR* descriptor)
{
    unique_hkey key;
    std::string text;
    if (!OpenSnapshotKey(key, false) || !ReadText(key.get(), SavedValueName(index).c_str(), text))
        return false;
    return ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                                descriptor, nullptr) != FALSE;
}

bool HasSavedKeySecurity(int index)
{
    unique_hkey key;
    DWORD size = 0;
    return OpenSnapshotKey(key, false) &&
           RegQueryValueExA(key.get(), SavedValueName(index).c_str(), nullptr, nullptr, nullptr,
                            &size) == ERROR_SUCCESS;
}

// The machine-wide keys that hold nothing (no snapshot, no holder) go.
static void DeleteEmptySnapshotKeys()
{
    const std::string paths[] = {SnapshotKeyPath(), ProductKeyPath(), "SOFTWARE\\Orvane"};
    for (const std::string& path : paths)
        if (SHDeleteEmptyKeyA(HKEY_LOCAL_MACHINE, path.c_str()) != ERROR_SUCCESS)
            break;
}

// The value goes, and with it the keys that held nothing else.
void DeleteSavedKeySecurity(int index)
{
    unique_hkey key;
    if (!OpenSnapshotKey(key, false))
        return;
    RegDeleteValueA(key.get(), SavedValueName(index).c_str());
    key.reset();
    DeleteEmptySnapshotKeys();
}

// Earlier versions kept the snapshot in the user's settings, which the
// restricted browser can write: such a text may be the record of a crashed
// run or a forged DACL, and nothing tells them apart. It is never applied,
// only removed. A key that an old run left locked stays locked, which
// grants less, never more.
static void DiscardUserSnapshot()
{
    std::string settings = ProductKeyPath() + "\\Main";
    unique_hkey key;
    DWORD size = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settings.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), SavedValueName(0).c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return;
    hookLog.WriteFormat("KEY LOCK: HKCU\\%s\\%s not applied, removed", settings.c_str(), SavedValueName(0).c_str());
    SHDeleteValueA(HKEY_CURRENT_USER, settings.c_str(), SavedValueName(0).c_str());
}

// The key's current DACL in a block of the guard's own; null when it
// cannot be read.
static unique_hlocal ReadKeyDacl(HKEY key, DWORD size)
{
    unique_hlocal descriptor(LocalAlloc(LMEM_ZEROINIT, size));
    if (!descriptor ||
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.get(), &size) != ERROR_SUCCESS)
        return unique_hlocal();
    return descriptor;
}

// The lock's own DACL, as another run of Quillet (another user's, say)
// left it: saving it as the original would make the lock permanent.
static bool IsLockDacl(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl ||
        dacl->AceCount != 1 || !GetAce(dacl, 0, reinterpret_cast<void**>(&ace)))
        return false;
    const BYTE inheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    return ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
           (ace->Header.AceFlags & ~INHERITED_ACE) == inheritance &&
           KeyRights(ace->Mask) == (ACCESS_MASK)KEY_ALL_ACCESS &&
           EqualSid(&ace->SidStart, AdministratorsSid().Sid());
}

// One entry: full access for BUILTIN\Administrators, inherited by subkeys.
// A restricted token, where that group only denies, gets no access at all.
static bool SetAdministratorsOnlyDacl(HKEY key, PSECURITY_DESCRIPTOR current)
{
    CSecurityDescriptorHolder locked;
    locked.CopyFrom(current);
    CAceList dacl;
    dacl.AddAllowed(AdministratorsSid(), GENERIC_ALL, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    locked.SetDacl(dacl, false);
    return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, locked.Get()) == ERROR_SUCCESS;
}

// A snapshot left by an earlier run that did not end normally, or by an
// instance of another session that still runs: that text is what the
// exit puts back. A text that does not load is dropped, so that one bad
// value cannot keep every later run from locking the key.
static bool TakeEarlierSnapshot(HKEY lock)
{
    if (!HasSavedKeySecurity(0))
        return false;
    if (LoadKeySecurity(0, (PSECURITY_DESCRIPTOR*)g_savedDescriptor.put()))
        return true;
    hookLog.WriteFormat("KEY LOCK: unusable HKLM\\%s\\%s removed", SnapshotKeyPath().c_str(),
                        SavedValueName(0).c_str());
    g_savedDescriptor.reset();
    // Only the value: the key stays open here for the new snapshot.
    RegDeleteValueA(lock, SavedValueName(0).c_str());
    return false;
}

// The lock itself; a DACL that cannot be built leaves the key as it is.
static bool ApplyLock(HKEY key, PSECURITY_DESCRIPTOR current)
{
    try {
        return SetAdministratorsOnlyDacl(key, current);
    } catch (const CAtlException&) {
        return false;
    }
}

// An adopted snapshot whose key is not locked (a run that ended between
// saving and locking) is locked now.
static void KeepLocked(HKEY key, DWORD size)
{
    unique_hlocal current = ReadKeyDacl(key, size);
    if (current && !IsLockDacl(current.get()) && !ApplyLock(key, current.get()))
        hookLog.WriteRaw("KEY LOCK: the key could not be locked");
}

// The snapshot is saved before the lock is applied: a run that ends in
// between leaves a record and an open key, never a lock without a record.
static void SaveThenLock(HKEY key, HKEY lock, DWORD size)
{
    unique_hlocal saved = ReadKeyDacl(key, size);
    if (!saved || IsLockDacl(saved.get())) {
        DeleteEmptySnapshotKeys();
        return;
    }
    if (!AddOwnHolder(lock) || !SaveKeySecurity(0, saved.get())) {
        hookLog.WriteFormat("KEY LOCK: the snapshot cannot be saved in HKLM\\%s, the key is not locked",
                            SnapshotKeyPath().c_str());
        RemoveOwnHolder(lock);
        DeleteEmptySnapshotKeys();
        return;
    }
    if (!ApplyLock(key, saved.get())) {
        RemoveOwnHolder(lock);
        DeleteSavedKeySecurity(0);
        return;
    }
    g_savedDescriptor = std::move(saved);
}

void LockComServerKey()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedKeyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    LONG status = RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    if (status != ERROR_SUCCESS && status != ERROR_INSUFFICIENT_BUFFER)
        return;
    DiscardUserSnapshot();
    unique_hkey lock;
    if (!OpenSnapshotKey(lock, true)) {
        hookLog.WriteFormat("KEY LOCK: HKLM\\%s cannot be written, the key is not locked", SnapshotKeyPath().c_str());
        return;
    }
    CountLiveHolders(lock.get());
    if (!TakeEarlierSnapshot(lock.get())) {
        SaveThenLock(key.get(), lock.get(), size);
        return;
    }
    if (!AddOwnHolder(lock.get()))
        hookLog.WriteRaw("KEY LOCK: this instance could not be counted as a holder");
    KeepLocked(key.get(), size);
}

// This instance lets go; true when no other live holder is left.
static bool ReleaseOwnHold()
{
    unique_hkey lock;
    if (!OpenSnapshotKey(lock, false))
        return true;
    RemoveOwnHolder(lock.get());
    int others = CountLiveHolders(lock.get());
    if (others > 0)
        hookLog.WriteFormat("KEY LOCK: %d other holders keep the key locked", others);
    return others == 0;
}

// Puts SAVED back on the guarded key. The text goes only once the DACL is
// back: otherwise it is the one record of that DACL, and a later run or
// uninstall puts it back.
static bool PutBackDacl(PSECURITY_DESCRIPTOR saved)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedKeyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS ||
        RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved) != ERROR_SUCCESS)
        return false;
    DeleteSavedKeySecurity(0);
    return true;
}

void RestoreComServerKey()
{
    if (!g_savedDescriptor)
        return;
    if (ReleaseOwnHold())
        PutBackDacl(g_savedDescriptor.get());
    g_savedDescriptor.reset();
}

// A crashed run's snapshot, put back when no running instance holds it.
static bool PutBackSnapshot()
{
    unique_hlocal saved;
    return LoadKeySecurity(0, (PSECURITY_DESCRIPTOR*)saved.put()) && PutBackDacl(saved.get());
}

bool RestoreUnheldKeyLock()
{
    unique_hkey lock;
    DWORD size = 0;
    if (!OpenSnapshotKey(lock, false) ||
        RegQueryValueExA(lock.get(), SavedValueName(0).c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return true;
    int holders = CountLiveHolders(lock.get());
    lock.reset();
    if (holders > 0) {
        hookLog.WriteFormat("KEY LOCK: %d running instances hold the key, left locked", holders);
        return true;
    }
    if (PutBackSnapshot())
        return true;
    hookLog.WriteFormat("KEY LOCK: HKLM\\%s\\%s could not be given back", SnapshotKeyPath().c_str(),
                        SavedValueName(0).c_str());
    return false;
}
