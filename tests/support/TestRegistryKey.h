// A registry key of the test's own that is removed, with everything below
// it, when the owner goes. Tests put their keys under one of these so that a
// failed run leaves nothing behind for the next.
#pragma once

#include <windows.h>

#include <string>

class TestRegistryKey {
public:
    // Creates ROOT\PATH (removing a leftover of the same path first).
    TestRegistryKey(HKEY root, std::string path);
    // A key under HKCU\Software\Quillet Tests named after NAME and this process.
    explicit TestRegistryKey(const char* name);
    ~TestRegistryKey();

    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    HKEY root() const { return root_; }
    const std::string& path() const { return path_; }
    // An open handle (KEY_ALL_ACCESS), 0 if the key could not be created.
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY root_;
    std::string path_;
    HKEY key_ = nullptr;
    bool sharedParent_ = false;
};

// Removes ROOT\PATH and everything below it; true if it is gone afterwards.
bool DeleteRegistryTree(HKEY root, const std::string& path);

// True when ROOT\PATH exists.
bool RegistryKeyExists(HKEY root, const std::string& path);

// The REG_SZ (or REG_EXPAND_SZ) value NAME of ROOT\PATH (null NAME: the
// default value). False when the key or value is missing or not text.
bool ReadRegistryText(HKEY root, const std::string& path, const char* name, std::string& text);

// Sets the REG_SZ value NAME of ROOT\PATH, creating the key; true on success.
bool WriteRegistryText(HKEY root, const std::string& path, const char* name, const std::string& text);
