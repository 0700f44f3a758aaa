#include "associations/AssociationItems.h"

const char kClassesPrefix[] = "Software\\Classes";
const char kApplicationsPrefix[] = "Software\\Classes\\Applications";
const char kApplicationName[] = "iexplore.exe";
const char kBrowserClsid[] = "{0002DF01-0000-0000-C000-000000000046}";
const char kBrowserMainKey[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kCheckAssociations[] = "Check_Associations";

const ExtensionPair kExtensionPairs[4] = {
    {".htm", "htmlfile"},
    {".html", "htmlfile"},
    {".url", "InternetShortcut"},
    {".shtml", "htmlfile"},
};

// "HTTP" is upper case on purpose: it is used so in key paths, save-record
// names and log lines (the registry itself ignores the case).
const char* const kClassNames[7] = {
    "ftp", "HTTP", "https", "gopher", "htmlfile", "mhtmlfile", "InternetShortcut",
};

std::string ItemPath(const char* prefix, const char* name)
{
    if (!prefix || !*prefix)
        return name;
    return std::string(prefix) + "\\" + name;
}

std::string ClsidClassPath(const char* prefix)
{
    return ItemPath(prefix, "CLSID") + "\\" + kBrowserClsid;
}

std::string ClsidServerPath(const char* prefix)
{
    return ClsidClassPath(prefix) + "\\LocalServer32";
}
