#include "security/ComServerKeyGuard.h"

#include "common/TwoCall.h"
#include "common/UniqueHandle.h"
#include "launcher/LauncherState.h"
#include "security/AceList.h"
#include "security/AtlException.h"
#include "security/SecurityDescriptorHolder.h"
#include "security/SidHolder.h"

#include <sddl.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string>

static const char guardedKeyPath[] =
    "software\\classes\\clsid\\{73B24247-042E-4EF5-ADC2-42F62E6FD654}\\InprocServer32";

// The DACL the guarded key had before it was locked; non-null while there
// is something to put back at exit.
static unique_hlocal g_savedDescriptor;

static std::string SettingsKeyPath()
{
    return std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption + "\\Main";
}

static std::string SavedValueName(int index)
{
    char name[32];
    snprintf(name, sizeof name, "SaveSD%d", index);
    return name;
}

static bool OpenSettingsKey(unique_hkey& key)
{
    return RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath().c_str(), 0, KEY_ALL_ACCESS,
                         key.put()) == ERROR_SUCCESS;
}

bool SaveKeySecurity(int index, PSECURITY_DESCRIPTOR descriptor)
{
    char* text = nullptr;
    if (!descriptor ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return false;
    unique_hlocal textOwner(text);
    // The settings key is not created here: without it the lock is undone
    // only by a normal exit.
    unique_hkey key;
    if (!OpenSettingsKey(key))
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
    if (!OpenSettingsKey(key) || !ReadText(key.get(), SavedValueName(index).c_str(), text))
        return false;
    return ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                                descriptor, nullptr) != FALSE;
}

bool HasSavedKeySecurity(int index)
{
    unique_hkey key;
    DWORD size = 0;
    return OpenSettingsKey(key) &&
           RegQueryValueExA(key.get(), SavedValueName(index).c_str(), nullptr, nullptr, nullptr,
                            &size) == ERROR_SUCCESS;
}

void DeleteSavedKeySecurity(int index)
{
    SHDeleteValueA(HKEY_CURRENT_USER, SettingsKeyPath().c_str(), SavedValueName(index).c_str());
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

void LockComServerKey()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedKeyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    LONG status = RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    if (status != ERROR_SUCCESS && status != ERROR_INSUFFICIENT_BUFFER)
        return;
    // A text left by an earlier run that did not end normally: the key is
    // still locked, and that text is what the exit puts back.
    if (HasSavedKeySecurity(0)) {
        LoadKeySecurity(0, (PSECURITY_DESCRIPTOR*)g_savedDescriptor.put());
        return;
    }
    unique_hlocal saved = ReadKeyDacl(key.get(), size);
    if (!saved)
        return;
    // A DACL that cannot be built leaves the key as it is, and nothing to
    // put back.
    try {
        if (!SetAdministratorsOnlyDacl(key.get(), saved.get()))
            return;
    } catch (const CAtlException&) {
        return;
    }
    g_savedDescriptor = std::move(saved);
    SaveKeySecurity(0, g_savedDescriptor.get());
}

void RestoreComServerKey()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, guardedKeyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return;
    if (!g_savedDescriptor)
        return;
    // The text goes only once the DACL is back: otherwise it is the one
    // record of that DACL, and the next start puts it back at its exit.
    LONG status = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, g_savedDescriptor.get());
    g_savedDescriptor.reset();
    if (status == ERROR_SUCCESS)
        DeleteSavedKeySecurity(0);
}
