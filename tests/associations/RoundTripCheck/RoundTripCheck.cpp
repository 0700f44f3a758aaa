// RoundTripCheck: what a takeover must have written, worked out from the
// registry before it ran, and checked against the registry after it.
//
//   RoundTripCheck expect PROGRAM FILE [win2k]   before "-INSTALL"
//   RoundTripCheck verify FILE                   after it
//
// "expect" reads the per-user and machine-wide web classes as they are and
// writes one expectation a line to FILE; "verify" checks each against the
// registry, prints every mismatch and exits 1 if there was one. The rules are
// the takeover's, written here on their own: a command gets the program path
// in front (and " %1" behind unless it has one), rundll32 commands and
// commands already holding the program stay, ddeexec defaults are emptied
// (deleted on Windows 2000), every changed key has a save record and, for
// "-@RESTORE", a saved copy.
#include "common/UniqueHandle.h"

#include <windows.h>
#include <stdio.h>

#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kClasses[] = "Software\\Classes";
const char kSave[] = "SOFTWARE\\Orvane\\Quillet\\Save";
const char kMain[] = "SOFTWARE\\Orvane\\Quillet\\Main";
const char kBrowserMain[] = "Software\\Microsoft\\Internet Explorer\\Main";
const char kServer[] = "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
const char* const kExtensions[][2] = {
    {".htm", "htmlfile"}, {".html", "htmlfile"}, {".url", "InternetShortcut"}, {".shtml", "htmlfile"}};
const char* const kClassNames[] = {"Software\\Classes\\ftp",       "Software\\Classes\\HTTP",
                                   "Software\\Classes\\https",     "Software\\Classes\\gopher",
                                   "Software\\Classes\\htmlfile",  "Software\\Classes\\mhtmlfile",
                                   "Software\\Classes\\InternetShortcut",
                                   "Software\\Classes\\Applications\\iexplore.exe"};

HKEY RootOf(const std::string& name)
{
    return name == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool KeyExists(HKEY root, const std::string& path)
{
    unique_hkey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A text value (null NAME: the default) and its type; nothing when the key
// or value is missing.
std::optional<std::string> ReadText(HKEY root, const std::string& path, const char* name, DWORD* typeOut = nullptr)
{
    unique_hkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, &type, (BYTE*)data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (typeOut)
        *typeOut = type;
    return std::string(data.data());
}

struct Expectations {
    std::string program;
    bool windows2000 = false;
    std::ostringstream out;

    void Value(const char* root, const std::string& path, const char* name, const std::string& data)
    {
        out << "value\t" << root << "\t" << path << "\t" << (name ? name : "@") << "\t" << data << "\n";
    }
    void Type(const char* root, const std::string& path, DWORD type)
    {
        out << "type\t" << root << "\t" << path << "\t" << type << "\n";
    }
    void NoValue(const char* root, const std::string& path)
    {
        out << "novalue\t" << root << "\t" << path << "\n";
    }
    void NoKey(const char* root, const std::string& path) { out << "nokey\t" << root << "\t" << path << "\n"; }
    void Record(const char* root, const std::string& path, const char* marker)
    {
        out << "record\t" << root << "\t" << root << "_>:" << path << "\t" << marker << "\n";
        if (std::string(marker) == "-@RESTORE")
            out << "key\t" << root << "\t" << kSave << "\\" << path << "\n";
    }
    // A key the takeover creates brings the parents with it that were not
    // there before ("Software\Classes\CLSID" for the COM class); each gets
    // a "-@DELETE" record of its own, so that the restore takes away just
    // those.
    void CreatedRecord(const char* root, const std::string& path, const std::string& created)
    {
        Record(root, path, "-@DELETE");
        std::string parent = created;
        for (size_t cut; (cut = parent.rfind('\\')) != std::string::npos;) {
            parent.resize(cut);
            if (parent.find('\\') == std::string::npos || KeyExists(RootOf(root), parent))
                break;
            if (createdParents.insert(std::string(root) + "\\" + parent).second)
                Record(root, parent, "-@DELETE");
        }
    }
    std::set<std::string> createdParents;

    std::string Wrap(const std::string& command) const
    {
        if (command.find(program) != std::string::npos || command.find("rundll32") != std::string::npos)
            return command;
        if (command.find("%1") != std::string::npos)
            return program + " " + command;
        return program + " " + command + " %1";
    }
};

// The value a key of ROOT's class N gets its content from: ROOT's own when
// the class existed there, else the machine-wide one that was copied in.
std::optional<std::string> Source(HKEY root, bool ownClass, const std::string& path, DWORD* type)
{
    if (ownClass && KeyExists(root, path) && ReadText(root, path, nullptr))
        return ReadText(root, path, nullptr, type);
    return ReadText(HKEY_LOCAL_MACHINE, path, nullptr, type);
}

void ExpectCommand(Expectations& e, const char* rootName, const std::string& n, const char* verb)
{
    HKEY root = RootOf(rootName);
    bool machine = root == HKEY_LOCAL_MACHINE;
    bool ownClass = KeyExists(root, n);
    std::string command = n + "\\shell\\" + verb + "\\command";
    DWORD type = REG_SZ;
    std::optional<std::string> value =
        machine ? ReadText(root, command, nullptr, &type) : Source(root, ownClass, command, &type);
    bool keyThere = KeyExists(root, command) || (!machine && KeyExists(HKEY_LOCAL_MACHINE, command));
    if (value) {
        e.Value(rootName, command, nullptr, e.Wrap(*value));
        e.Type(rootName, command, type);  // a command keeps the type it had
    }
    else if (keyThere || (!machine && std::string(verb) == "open"))
        e.NoValue(rootName, command);  // an open command key with nothing to wrap stays, empty
    else if (!machine)  // no new-window command anywhere: the verb goes
        e.NoKey(rootName, n + "\\shell\\opennew");

    std::string dde = n + "\\shell\\" + verb + "\\ddeexec";
    bool ddeThere = machine || ownClass ? KeyExists(root, dde) : KeyExists(HKEY_LOCAL_MACHINE, dde);
    std::optional<std::string> ddeValue =
        machine || (ownClass && KeyExists(root, dde)) ? ReadText(root, dde, nullptr)
                                                      : ReadText(HKEY_LOCAL_MACHINE, dde, nullptr);
    if (ddeThere && ddeValue) {
        if (e.windows2000)
            e.NoKey(rootName, dde);
        else
            e.Value(rootName, dde, nullptr, "");
    }
}

// The default verb: kept when it is "open" or "opennew", else "open"; a
// shell key copied in from the machine-wide class always gets "open".
void ExpectVerb(Expectations& e, const char* rootName, const std::string& n, bool ownClass)
{
    HKEY root = RootOf(rootName);
    std::string shell = n + "\\shell";
    HKEY from = ownClass ? root : HKEY_LOCAL_MACHINE;
    if (KeyExists(from, shell)) {
        std::optional<std::string> verb = ReadText(from, shell, nullptr);
        e.Value(rootName, shell, nullptr, verb && (*verb == "open" || *verb == "opennew") ? *verb : "open");
    } else if (root != HKEY_LOCAL_MACHINE && KeyExists(HKEY_LOCAL_MACHINE, shell)) {
        e.Value(rootName, shell, nullptr, "open");
    } else if (root != HKEY_LOCAL_MACHINE) {
        e.NoValue(rootName, shell);
    }
}

void ExpectClass(Expectations& e, const char* rootName, const std::string& n)
{
    HKEY root = RootOf(rootName);
    bool ownClass = KeyExists(root, n);
    if (!ownClass && (root == HKEY_LOCAL_MACHINE || !KeyExists(HKEY_LOCAL_MACHINE, n)))
        return;  // nothing to take over, no record
    if (ownClass)
        e.Record(rootName, n, "-@RESTORE");
    else
        e.CreatedRecord(rootName, n, n);
    e.Value(rootName, n + "\\DefaultIcon", nullptr, e.program + ",3");
    ExpectVerb(e, rootName, n, ownClass);
    ExpectCommand(e, rootName, n, "open");
    ExpectCommand(e, rootName, n, "opennew");
}

void ExpectExtension(Expectations& e, const char* rootName, const std::string& n, const char* type)
{
    HKEY root = RootOf(rootName);
    bool own = KeyExists(root, n);
    if (!own && root == HKEY_LOCAL_MACHINE)
        return;
    std::optional<std::string> value = ReadText(root, n, nullptr);
    if (own && value && *value == type)
        return;  // already its class: no copy, no record
    e.Value(rootName, n, nullptr, type);
    if (own)
        e.Record(rootName, n, "-@RESTORE");
    else
        e.CreatedRecord(rootName, n, n);
}

void ExpectServer(Expectations& e, const char* rootName)
{
    HKEY root = RootOf(rootName);
    bool own = KeyExists(root, kServer);
    std::optional<std::string> value = ReadText(own ? root : HKEY_LOCAL_MACHINE, kServer, nullptr);
    if (!value)
        return;
    e.Value(rootName, kServer, nullptr, e.program + " " + *value);
    e.Value(rootName, kSave, nullptr, *value);
    std::string server = kServer;
    std::string classKey = server.substr(0, server.rfind('\\'));
    if (own) {
        e.Record(rootName, server, "-@RESTORE");
    } else if (KeyExists(root, classKey)) {
        // The user's own class key without a server key: saved whole first.
        e.Record(rootName, classKey, "-@RESTORE");
        e.Record(rootName, server, "-@DELETE");
    } else {
        e.CreatedRecord(rootName, server, classKey);
    }
}

void ExpectRoot(Expectations& e, const char* rootName)
{
    HKEY root = RootOf(rootName);
    std::string folder = e.program.substr(0, e.program.rfind('\\'));
    e.Value(rootName, kMain, "FileName", e.program);
    e.Value(rootName, kMain, "Folder", folder);
    ExpectServer(e, rootName);
    for (const auto& pair : kExtensions)
        ExpectExtension(e, rootName, std::string(kClasses) + "\\" + pair[0], pair[1]);
    for (const char* name : kClassNames)
        ExpectClass(e, rootName, name);
    e.Value(rootName, kSave, "Check_Associations",
            ReadText(root, kBrowserMain, "Check_Associations").value_or(""));
    e.Value(rootName, kBrowserMain, "Check_Associations", "no");
    e.out << "records-end\t" << rootName << "\n";
}

// Verification --------------------------------------------------------------

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    return fields;
}

// The save records actually there: value names holding "_>:" and their data.
std::map<std::string, std::string> SaveRecords(HKEY root)
{
    std::map<std::string, std::string> records;
    unique_hkey key;
    if (RegOpenKeyExA(root, kSave, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return records;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        char data[1024] = {};
        DWORD nameSize = sizeof(name), dataSize = sizeof(data) - 1, type = 0;
        if (RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, (BYTE*)data, &dataSize) != ERROR_SUCCESS)
            break;
        if (strstr(name, "_>:"))
            records[name] = data;
    }
    return records;
}

int Failure(const std::string& what)
{
    printf("FAIL: %s\n", what.c_str());
    return 1;
}

int VerifyLine(const std::vector<std::string>& f, std::map<std::string, std::map<std::string, std::string>>& expected)
{
    HKEY root = RootOf(f[1]);
    std::string where = f[1] + "\\" + (f.size() > 2 ? f[2] : "");
    if (f[0] == "value") {
        const char* name = f[3] == "@" ? nullptr : f[3].c_str();
        std::optional<std::string> value = ReadText(root, f[2], name);
        std::string want = f.size() > 4 ? f[4] : "";
        if (!value)
            return Failure(where + " [" + f[3] + "] missing, want '" + want + "'");
        return *value == want ? 0 : Failure(where + " [" + f[3] + "] = '" + *value + "', want '" + want + "'");
    }
    if (f[0] == "novalue") {
        if (!KeyExists(root, f[2]))
            return Failure(where + " missing, want the key without default value");
        return ReadText(root, f[2], nullptr) ? Failure(where + " has a default value, want none") : 0;
    }
    if (f[0] == "type") {
        DWORD type = 0;
        ReadText(root, f[2], nullptr, &type);
        return std::to_string(type) == f[3] ? 0 : Failure(where + " has type " + std::to_string(type) + ", want " + f[3]);
    }
    if (f[0] == "nokey")
        return KeyExists(root, f[2]) ? Failure(where + " exists, want it gone") : 0;
    if (f[0] == "key")
        return KeyExists(root, f[2]) ? 0 : Failure(where + " (saved copy) missing");
    if (f[0] == "record") {
        expected[f[1]][f[2]] = f[3];
        return 0;
    }
    // records-end: the records there must be exactly those expected, names
    // compared case-sensitively (installed copies rely on them).
    int failures = 0;
    std::map<std::string, std::string> actual = SaveRecords(root);
    for (const auto& [name, marker] : expected[f[1]])
        if (!actual.count(name) || actual[name] != marker)
            failures += Failure("record " + name + " = '" + (actual.count(name) ? actual[name] : "(none)")
                                + "', want '" + marker + "'");
    for (const auto& [name, marker] : actual)
        if (!expected[f[1]].count(name))
            failures += Failure("unexpected record " + name + " = '" + marker + "'");
    return failures;
}

int Verify(const char* file)
{
    std::ifstream in(file);
    if (!in)
        return Failure(std::string("cannot read ") + file) + 1;
    std::map<std::string, std::map<std::string, std::string>> records;
    int failures = 0, checks = 0;
    for (std::string line; std::getline(in, line); ++checks) {
        std::vector<std::string> fields = Fields(line);
        if (fields.size() < 2)
            return Failure("bad line: " + line) + 1;
        failures += VerifyLine(fields, records);
    }
    printf("%d expectations, %d failed\n", checks, failures);
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "expect") == 0) {
        Expectations e;
        e.program = argv[2];
        e.windows2000 = argc > 4 && strcmp(argv[4], "win2k") == 0;
        ExpectRoot(e, "HKCU");
        if (e.windows2000)
            ExpectRoot(e, "HKLM");
        std::ofstream(argv[3], std::ios::binary) << e.out.str();
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "verify") == 0)
        return Verify(argv[2]);
    fprintf(stderr, "usage: RoundTripCheck expect PROGRAM FILE [win2k] | RoundTripCheck verify FILE\n");
    return 2;
}
