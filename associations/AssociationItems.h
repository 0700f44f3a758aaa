// The fixed items that the takeover, the restore and the checks work on.
#pragma once

#include <string>

struct ExtensionPair {
    const char* extension;
    const char* className;
};

extern const char kClassesPrefix[];        // "Software\Classes"
extern const char kApplicationsPrefix[];   // "Software\Classes\Applications"
extern const char kApplicationName[];      // "iexplore.exe"
extern const char kBrowserClsid[];         // the browser application's COM class
extern const char kBrowserMainKey[];       // "Software\Microsoft\Internet Explorer\Main"
extern const char kCheckAssociations[];    // "Check_Associations"

extern const ExtensionPair kExtensionPairs[4];
extern const char* const kClassNames[7];

// Checks and the re-apply leave out the last extension (".shtml") and the
// last class ("InternetShortcut").
constexpr int kCheckedExtensions = 3;
constexpr int kCheckedClasses = 6;

// "%s\%s" of prefix and name; an empty prefix leaves the name alone.
std::string ItemPath(const char* prefix, const char* name);

// The COM class's server key ("...\CLSID\{...}\LocalServer32") and class key.
std::string ClsidServerPath(const char* prefix);
std::string ClsidClassPath(const char* prefix);
