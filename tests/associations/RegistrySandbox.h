// A private registry for one test: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE
// of this process are redirected (RegOverridePredefKey) to two keys of the
// test's own under the real HKEY_CURRENT_USER, which go again at the end.
// The code under test and the checks both go through the predefined roots,
// so the checks read back what the system stored.
#pragma once

#include <windows.h>
#include <string>

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Writes a REG_SZ (or TYPE) value, creating the key.
void PutValue(HKEY root, const std::string& path, const char* name, const std::string& text, DWORD type = REG_SZ);
void PutKey(HKEY root, const std::string& path);

// The text of a value; "<missing>" when the key or value cannot be read.
std::string GetValue(HKEY root, const std::string& path, const char* name);
bool KeyExists(HKEY root, const std::string& path);
void RemoveKey(HKEY root, const std::string& path);

// Every key, value name, type and byte of the tree at PATH, one line each,
// in the order the registry enumerates them; "<missing>" without the key.
std::string DumpTree(HKEY root, const std::string& path);

// Internet Explorer's classes as Windows XP installs them, under ROOT's
// "Software\Classes", and its "Check_Associations" under HKEY_CURRENT_USER.
extern const char kBrowserCommand[];   // "C:\Program Files\...\iexplore.exe" -nohome
extern const char kBrowserServer[];    // the COM server's command
void WriteBrowserClasses(HKEY root);

// Gives the key at PATH the access of an SDDL descriptor ("D:(A;;KR;;;WD)").
bool SetKeyAccess(HKEY root, const std::string& path, const char* sddl);

// Withholds reading from everyone on one key for the life of the object.
class UnreadableKey {
public:
    UnreadableKey(HKEY root, const std::string& path);
    ~UnreadableKey() { Release(); }
    UnreadableKey(const UnreadableKey&) = delete;
    UnreadableKey& operator=(const UnreadableKey&) = delete;
    void Release();
    bool ok() const { return ok_; }

private:
    HKEY root_;
    std::string path_;
    bool ok_ = false;
};

// A log file of the test's own, deleted at both ends; Records() splits it
// at the carriage returns.
class TestLogFile {
public:
    explicit TestLogFile(const char* stem);
    ~TestLogFile();
    const char* path() const { return path_.c_str(); }
    std::string Contents() const;
    void Clear() const;

private:
    std::string path_;
};
