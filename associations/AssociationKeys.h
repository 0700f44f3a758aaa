// How the association code opens registry keys: always for reading and
// setting values, so that a key the user may not change counts as missing.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <string>
#include <vector>

constexpr REGSAM kAssociationAccess = KEY_READ | KEY_SET_VALUE;

// A key that a tree is copied into also needs to take subkeys.
constexpr REGSAM kCopyTargetAccess = KEY_READ | KEY_WRITE;

bool OpenAssociationKey(HKEY root, const std::string& path, unique_hkey& key, REGSAM access = kAssociationAccess);

// Open, and on failure create with the same access. CREATED (optional)
// tells whether the key is new.
bool OpenOrCreateAssociationKey(HKEY root, const std::string& path, unique_hkey& key,
                                REGSAM access = kAssociationAccess, bool* created = nullptr);

// PATH with its last name spelt as the registry holds it ("http" for a
// path ending in "HTTP"); PATH itself when there is no such key. A key put
// back or copied keeps the user's spelling, which exports show.
std::string StoredKeyPath(HKEY root, const std::string& path);

// Deletes PATH under ROOT with all its values and subkeys.
bool DeleteKeyTree(HKEY root, const std::string& path);

// Deletes PATH under ROOT, which must have no subkeys.
bool DeleteKey(HKEY root, const std::string& path);

// Copies the tree at PATH under SOURCEROOT (null PATH: SOURCEROOT itself)
// into TARGET, values and subkeys, as SHCopyKeyA does.
bool CopyKeyTree(HKEY sourceRoot, const char* path, HKEY target);

bool AssociationKeyExists(HKEY root, const std::string& path);

// True when PATH under ROOT exists and holds neither values nor subkeys.
bool IsEmptyKey(HKEY root, const std::string& path);

// The keys on the way to PATH under ROOT that do not exist yet, deepest
// first, up to (not including) a top-level key such as "Software". Creating
// PATH creates them too: the takeover records them, so that the restore
// takes away only parents that were not there before.
std::vector<std::string> MissingParents(HKEY root, const std::string& path);

// True when ROOT is HKEY_LOCAL_MACHINE; the takeover never creates keys there.
inline bool IsMachineRoot(HKEY root) { return root == HKEY_LOCAL_MACHINE; }

// False for a user who can change nothing under HKEY_LOCAL_MACHINE's
// software and classes keys (a limited user).
bool CanWriteMachineKeys();
