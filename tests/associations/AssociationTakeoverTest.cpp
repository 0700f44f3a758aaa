#include "associations/AssociationManager.h"
#include "tests/associations/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kProgram[] = "C:\\Tools\\Quillet\\Quillet.exe";
const char kProduct[] = "TakeoverTest";
const std::string kSave = "SOFTWARE\\Orvane\\TakeoverTest\\Save";
const std::string kClasses = "Software\\Classes\\";
const std::string kServer = "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
const std::string kBrowserMain = "Software\\Microsoft\\Internet Explorer\\Main";

std::string Wrapped(const std::string& command)
{
    return std::string(kProgram) + " " + command;
}

// What the takeover may change, under one root.
std::string Snapshot(HKEY root)
{
    return DumpTree(root, "Software\\Classes") + DumpTree(HKEY_CURRENT_USER, kBrowserMain);
}

class AssociationTakeover : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.ok());
        WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    }

    int Install(HKEY root = HKEY_CURRENT_USER)
    {
        AssociationManager manager;
        manager.SetLogFile(log.path());
        return manager.SaveBrowser(kProgram, kProduct, root);
    }

    int Uninstall(HKEY root = HKEY_CURRENT_USER)
    {
        AssociationManager manager;
        return manager.RestoreAssociations(kProgram, kProduct, root);
    }

    std::string Record(HKEY root, const std::string& path)
    {
        return GetValue(HKEY_CURRENT_USER == root ? HKEY_CURRENT_USER : root, kSave,
                        AssociationManager::SaveRecordName(root, path).c_str());
    }

    RegistrySandbox sandbox;
    TestLogFile log{"assoc-takeover"};
};

TEST(WrapCommand, PutsTheProgramInFrontOnce)
{
    struct { const char* command; bool write; std::string result; std::string previous = {}; } cases[] = {
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome", true,
         "C:\\Tools\\Quillet\\Quillet.exe \"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome %1"},
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1", true,
         "C:\\Tools\\Quillet\\Quillet.exe \"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1"},
        {"rundll32.exe shdocvw.dll,OpenURL %l", true, "rundll32.exe shdocvw.dll,OpenURL %l"},
        {"RUNDLL32.EXE shdocvw.dll,OpenURL %l", true, "C:\\Tools\\Quillet\\Quillet.exe RUNDLL32.EXE shdocvw.dll,OpenURL %l %1"},
        {"C:\\Tools\\Quillet\\Quillet.exe iexplore.exe %1", false, "sentinel"},
        // The same file in other case is no other program.
        {"c:\\tools\\quillet\\quillet.exe iexplore.exe %1", false, "sentinel"},
        {"", true, "C:\\Tools\\Quillet\\Quillet.exe  %1"},
        // A wrap of a copy since moved or renamed gets this path instead.
        {"C:\\Old\\Quillet.exe iexplore.exe %1", true, "C:\\Tools\\Quillet\\Quillet.exe iexplore.exe %1",
         "c:\\old\\quillet.exe"},
        {"\"C:\\Old Place\\Q.exe\" iexplore.exe -nohome %1", true,
         "C:\\Tools\\Quillet\\Quillet.exe iexplore.exe -nohome %1", "C:\\Old Place\\Q.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::string result = "sentinel";
        EXPECT_EQ(c.write, WrappedCommand(kProgram, c.command, result, c.previous));
        EXPECT_EQ(c.result, result);
    }

    // A program path with blanks is quoted, so that no "C:\Program.exe" can
    // stand in for it, and is still recognised inside the quotes.
    const char spaced[] = "C:\\Program Files\\Quillet\\Quillet.exe";
    std::string result;
    EXPECT_TRUE(WrappedCommand(spaced, "iexplore.exe %1", result));
    EXPECT_EQ("\"C:\\Program Files\\Quillet\\Quillet.exe\" iexplore.exe %1", result);
    EXPECT_FALSE(WrappedCommand(spaced, result, result));
    AssociationManager manager;
    manager.RunErrorTest(spaced, "WrapTest", HKEY_LOCAL_MACHINE, AfterTakeover);
    EXPECT_EQ(1, manager.AnalyzeCommand(result.c_str(), AfterTakeover));
}

TEST_F(AssociationTakeover, MachineWideHandlersAreCopiedPerUserAndWrapped)
{
    const std::string machineBefore = DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes");
    EXPECT_EQ(1, Install());

    EXPECT_EQ(kProgram, GetValue(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\TakeoverTest\\Main", "FileName"));
    EXPECT_EQ("C:\\Tools\\Quillet", GetValue(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\TakeoverTest\\Main", "Folder"));
    EXPECT_EQ(kBrowserServer, GetValue(HKEY_CURRENT_USER, kSave, nullptr));
    EXPECT_EQ(Wrapped(kBrowserServer), GetValue(HKEY_CURRENT_USER, kServer, nullptr));
    EXPECT_EQ("Internet Explorer(Ver 1.0)",
              GetValue(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}", nullptr));
    EXPECT_EQ("yes", GetValue(HKEY_CURRENT_USER, kSave, "Check_Associations"));
    EXPECT_EQ("no", GetValue(HKEY_CURRENT_USER, kBrowserMain, "Check_Associations"));

    struct { std::string path; std::string record; } records[] = {
        {kServer, "-@DELETE"}, {kClasses + ".htm", "-@DELETE"}, {kClasses + ".html", "-@DELETE"},
        {kClasses + ".url", "-@DELETE"}, {kClasses + ".shtml", "-@DELETE"}, {kClasses + "ftp", "-@DELETE"},
        {kClasses + "HTTP", "-@DELETE"}, {kClasses + "https", "-@DELETE"}, {kClasses + "gopher", "-@DELETE"},
        {kClasses + "htmlfile", "-@DELETE"}, {kClasses + "mhtmlfile", "-@DELETE"},
        {kClasses + "InternetShortcut", "-@DELETE"}, {kClasses + "Applications\\iexplore.exe", "-@DELETE"},
    };
    for (const auto& r : records) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(r.record, Record(HKEY_CURRENT_USER, r.path));
    }
    // "-@DELETE" keys have no copy in the save area.
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave + "\\Software"));

    for (const char* name : {".htm", ".html", ".shtml"}) {
        EXPECT_EQ("htmlfile", GetValue(HKEY_CURRENT_USER, kClasses + name, nullptr));
        EXPECT_EQ("text/html", GetValue(HKEY_CURRENT_USER, kClasses + name, "Content Type")) << "copied";
    }
    EXPECT_EQ("InternetShortcut", GetValue(HKEY_CURRENT_USER, kClasses + ".url", nullptr));

    struct { const char* name; std::string verb; std::string open; std::string opennew; std::string dde; } classes[] = {
        {"ftp", "open", Wrapped(kBrowserCommand) + " %1", "<missing>", ""},
        {"HTTP", "open", Wrapped(kBrowserCommand) + " %1", "<missing>", ""},
        {"htmlfile", "opennew", Wrapped(kBrowserCommand) + " %1", Wrapped(kBrowserServer) + " %1", ""},
        {"InternetShortcut", "open", "rundll32.exe shdocvw.dll,OpenURL %l", "<missing>", "<missing>"},
        {"Applications\\iexplore.exe", "open", Wrapped(kBrowserServer) + " %1", "<missing>", "<missing>"},
    };
    for (const auto& c : classes) {
        SCOPED_TRACE(c.name);
        const std::string path = kClasses + c.name;
        EXPECT_EQ(c.verb, GetValue(HKEY_CURRENT_USER, path + "\\shell", nullptr));
        EXPECT_EQ(c.open, GetValue(HKEY_CURRENT_USER, path + "\\shell\\open\\command", nullptr));
        EXPECT_EQ(c.opennew, GetValue(HKEY_CURRENT_USER, path + "\\shell\\opennew\\command", nullptr));
        EXPECT_EQ(c.dde, GetValue(HKEY_CURRENT_USER, path + "\\shell\\open\\ddeexec", nullptr));
        EXPECT_EQ(std::string(kProgram) + ",3", GetValue(HKEY_CURRENT_USER, path + "\\DefaultIcon", nullptr));
        // No opennew without a command to run.
        EXPECT_EQ(c.opennew != "<missing>", KeyExists(HKEY_CURRENT_USER, path + "\\shell\\opennew"));
    }
    // Windows XP keeps the DDE keys, only their message goes.
    EXPECT_EQ("IExplore", GetValue(HKEY_CURRENT_USER, kClasses + "htmlfile\\shell\\open\\ddeexec\\Application", nullptr));
    EXPECT_EQ(machineBefore, DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes"));
}

TEST_F(AssociationTakeover, RestoreGivesBackExactlyWhatTheTakeoverFound)
{
    // Per-user keys for some items, one extension already pointing at its
    // class, one class whose open command key exists without a command.
    PutValue(HKEY_CURRENT_USER, kClasses + ".htm", nullptr, "userhtm", REG_EXPAND_SZ);
    PutValue(HKEY_CURRENT_USER, kClasses + ".htm\\OpenWithList\\x.exe", nullptr, "");
    PutValue(HKEY_CURRENT_USER, kClasses + ".url", nullptr, "InternetShortcut");
    PutKey(HKEY_CURRENT_USER, kClasses + ".html");
    PutValue(HKEY_CURRENT_USER, kClasses + "http\\shell\\open\\command", nullptr, "\"D:\\iexplore.exe\" \"%1\"");
    PutValue(HKEY_CURRENT_USER, kClasses + "http\\shell", nullptr, "edit");
    PutKey(HKEY_CURRENT_USER, kClasses + "mhtmlfile\\shell\\open\\command");
    PutValue(HKEY_CURRENT_USER, kServer, nullptr, "\"D:\\iexplore.exe\" -embedding");
    PutValue(HKEY_CURRENT_USER, kBrowserMain, "Check_Associations", "yes");
    RemoveKey(HKEY_LOCAL_MACHINE, kClasses + "gopher");
    const std::string before = Snapshot(HKEY_CURRENT_USER);

    EXPECT_EQ(1, Install());
    EXPECT_EQ("-@RESTORE", Record(HKEY_CURRENT_USER, kClasses + ".htm"));
    EXPECT_EQ("htmlfile", GetValue(HKEY_CURRENT_USER, kClasses + ".htm", nullptr));
    EXPECT_EQ("userhtm", GetValue(HKEY_CURRENT_USER, kSave + "\\" + kClasses + ".htm", nullptr));
    EXPECT_EQ("<missing>", Record(HKEY_CURRENT_USER, kClasses + ".url")) << "already its class";
    EXPECT_EQ("-@RESTORE", Record(HKEY_CURRENT_USER, kClasses + ".html")) << "no default value";
    EXPECT_EQ("htmlfile", GetValue(HKEY_CURRENT_USER, kClasses + ".html", nullptr));
    EXPECT_EQ("-@RESTORE", Record(HKEY_CURRENT_USER, kClasses + "HTTP"));
    EXPECT_EQ("open", GetValue(HKEY_CURRENT_USER, kClasses + "http\\shell", nullptr));
    EXPECT_EQ(Wrapped("\"D:\\iexplore.exe\" \"%1\""),
              GetValue(HKEY_CURRENT_USER, kClasses + "http\\shell\\open\\command", nullptr));
    // The user's open command key had no command: the machine-wide one is wrapped into it.
    EXPECT_EQ(Wrapped(kBrowserCommand) + " %1",
              GetValue(HKEY_CURRENT_USER, kClasses + "mhtmlfile\\shell\\open\\command", nullptr));
    EXPECT_EQ("-@RESTORE", Record(HKEY_CURRENT_USER, kServer));
    EXPECT_EQ("\"D:\\iexplore.exe\" -embedding", GetValue(HKEY_CURRENT_USER, kSave, nullptr));
    // Missing everywhere: no key, no record.
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + "gopher"));
    EXPECT_EQ("<missing>", Record(HKEY_CURRENT_USER, kClasses + "gopher"));

    EXPECT_EQ(1, Uninstall()) << "the application entry was restored (deleted)";
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave));
    EXPECT_EQ(kProgram, GetValue(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\TakeoverTest\\Main", "FileName"));
}

TEST_F(AssociationTakeover, RestoreRemovesWhatTheTakeoverCreated)
{
    PutValue(HKEY_CURRENT_USER, "Software\\Classes\\.txt", nullptr, "txtfile");
    RemoveKey(HKEY_CURRENT_USER, kBrowserMain);
    PutKey(HKEY_CURRENT_USER, kBrowserMain);
    const std::string before = Snapshot(HKEY_CURRENT_USER);
    EXPECT_EQ(1, Install());
    EXPECT_EQ("", GetValue(HKEY_CURRENT_USER, kSave, "Check_Associations"));
    EXPECT_EQ("no", GetValue(HKEY_CURRENT_USER, kBrowserMain, "Check_Associations"));
    Uninstall();
    // The created CLSID and Applications parents go with their only child;
    // a saved "Check_Associations" of "" removes the value.
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER));
    EXPECT_EQ("<missing>", GetValue(HKEY_CURRENT_USER, kBrowserMain, "Check_Associations"));
}

TEST_F(AssociationTakeover, RestoreRemovesOnlyTheParentsTheTakeoverCreated)
{
    const std::string clsid = "Software\\Classes\\CLSID";
    const std::string other = clsid + "\\{6A0F5E2C-1B2D-4C3E-8F90-A1B2C3D4E5F6}";
    struct Case {
        const char* name;
        bool clsidBefore;     // an empty per-user CLSID key was there already
        bool filledMeanwhile; // another program registered a class after the install
        const char* record;
        bool clsidAfter;
    } cases[] = {
        {"created, still empty", false, false, "-@DELETE", false},
        {"created, filled meanwhile", false, true, "-@DELETE", true},
        {"there before, empty", true, false, "<missing>", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveKey(HKEY_CURRENT_USER, clsid);
        if (c.clsidBefore)
            PutKey(HKEY_CURRENT_USER, clsid);
        EXPECT_EQ(1, Install());
        EXPECT_EQ(c.record, Record(HKEY_CURRENT_USER, clsid));
        if (c.filledMeanwhile)
            PutValue(HKEY_CURRENT_USER, other, nullptr, "registered later");
        Uninstall();
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kServer));
        EXPECT_EQ(c.clsidAfter, KeyExists(HKEY_CURRENT_USER, clsid));
        if (c.filledMeanwhile) {
            EXPECT_EQ("registered later", GetValue(HKEY_CURRENT_USER, other, nullptr));
        }
    }
    RemoveKey(HKEY_CURRENT_USER, clsid);
}

TEST_F(AssociationTakeover, MachineRootChangesOnlyExistingKeys)
{
    RemoveKey(HKEY_LOCAL_MACHINE, kClasses + ".shtml");
    RemoveKey(HKEY_LOCAL_MACHINE, kClasses + "gopher");
    RemoveKey(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID");
    const std::string before = Snapshot(HKEY_LOCAL_MACHINE);
    Install(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + ".shtml"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + "gopher"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID"));
    EXPECT_EQ("-@RESTORE", GetValue(HKEY_LOCAL_MACHINE, kSave, "HKLM_>:Software\\Classes\\htmlfile"));
    EXPECT_EQ(Wrapped(kBrowserCommand) + " %1",
              GetValue(HKEY_LOCAL_MACHINE, kClasses + "htmlfile\\shell\\open\\command", nullptr));
    EXPECT_EQ("<missing>", GetValue(HKEY_CURRENT_USER, kSave, nullptr)) << "the per-user root is not touched";
    Uninstall(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(before, Snapshot(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSave));
}

TEST_F(AssociationTakeover, LogLinesOfOneItemKeepTheirSpelling)
{
    PutValue(HKEY_CURRENT_USER, kClasses + ".htm", nullptr, "userhtm");
    Install();
    const std::string text = log.Contents();
    const std::string expected[] = {
        "<<<<< Begin Save Browser >>>>>\r..... Set main data .....\rOpenHKEY(FOLDER_MAIN) -> Success\r"
        "..... End set main data .....\r..... Set save data .....\r_____ Set CLSID data _____\r"
        "OpenHKEY CLISD data (" + kServer + ") -> (HKCU)\r"
        "Create HKEY CLSID data (Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}) -> Sucess (HKCU)\r"
        "_____ End Set CLSID data _____\r",
        "_____ Set Ext data _____\rOpenHKEY Ext data (Software\\Classes\\.htm) -> (HKCU)\r"
        "Create HKEY Ext data (Software\\Classes\\.htm) -> Success(HKCU)\r_____ End set Ext data _____\r",
        "Create HKEY Ext data (Software\\Classes\\.html) -> Success (HKCU)\r",
        "_____ Set Prot data _____\rOpenHKEY Prot data (Software\\Classes\\HTTP) -> (HKCU)\r"
        "Create HKEY Ext data (Software\\Classes\\HTTP) -> Success (HKCU)\r_____ End set Prot data _____\r",
        "_____ End set Prot data _____\r..... End set save data .....\r",
    };
    for (const std::string& part : expected) {
        SCOPED_TRACE(part);
        EXPECT_NE(std::string::npos, text.find(part));
    }
    const std::string last = "..... End set save data .....\r";
    EXPECT_EQ(text.size() - last.size(), text.find(last)) << "the last line";

    // An existing class key has its own line.
    log.Clear();
    Uninstall();
    EXPECT_EQ("", log.Contents()) << "the restore writes no lines";
    PutValue(HKEY_CURRENT_USER, kClasses + "ftp", nullptr, "URL:ftp");
    Install();
    EXPECT_NE(std::string::npos, log.Contents().find("OpenHKEY Ext data (Software\\Classes\\ftp) -> Success (HKCU)\r"));
}

TEST_F(AssociationTakeover, ReapplyRepairsHandlersFromTheSavedCommand)
{
    Install();
    PutValue(HKEY_CURRENT_USER, kClasses + "HTTP\\shell\\open\\command", nullptr, "other.exe \"%1\"");
    PutValue(HKEY_CURRENT_USER, kClasses + "htmlfile\\shell", nullptr, "edit");
    PutValue(HKEY_CURRENT_USER, kClasses + ".html", nullptr, "otherfile");
    PutValue(HKEY_CURRENT_USER, kServer, nullptr, "other.exe");
    RemoveKey(HKEY_CURRENT_USER, kClasses + "gopher");
    const std::string save = DumpTree(HKEY_CURRENT_USER, kSave);
    log.Clear();

    AssociationManager manager;
    manager.SetLogFile(log.path());
    manager.ReapplyTakeover(kProgram, kProduct, HKEY_CURRENT_USER);
    const std::string command = Wrapped(kBrowserServer) + " %1";
    EXPECT_EQ(command, GetValue(HKEY_CURRENT_USER, kClasses + "HTTP\\shell\\open\\command", nullptr));
    EXPECT_EQ(command, GetValue(HKEY_CURRENT_USER, kClasses + "HTTP\\shell\\opennew\\command", nullptr));
    EXPECT_EQ(command, GetValue(HKEY_CURRENT_USER, kClasses + "gopher\\shell\\open\\command", nullptr));
    EXPECT_EQ("open", GetValue(HKEY_CURRENT_USER, kClasses + "htmlfile\\shell", nullptr));
    EXPECT_EQ("htmlfile", GetValue(HKEY_CURRENT_USER, kClasses + ".html", nullptr));
    EXPECT_EQ(Wrapped(kBrowserServer), GetValue(HKEY_CURRENT_USER, kServer, nullptr));
    EXPECT_EQ("rundll32.exe shdocvw.dll,OpenURL %l",
              GetValue(HKEY_CURRENT_USER, kClasses + "InternetShortcut\\shell\\open\\command", nullptr));
    EXPECT_EQ("", GetValue(HKEY_CURRENT_USER, kClasses + "HTTP\\shell\\open\\ddeexec", nullptr));
    EXPECT_EQ(save, DumpTree(HKEY_CURRENT_USER, kSave)) << "no records written";
    EXPECT_EQ("", log.Contents());
    EXPECT_FALSE(manager.IsTakeoverBroken(kProgram, kProduct, HKEY_CURRENT_USER, AfterTakeover));
}

TEST_F(AssociationTakeover, ReapplyRecordsEveryKeyItWrites)
{
    // No gopher anywhere at the takeover, and an expandable server command.
    RemoveKey(HKEY_LOCAL_MACHINE, kClasses + "gopher");
    const std::string expandable = "%ProgramFiles%\\Internet Explorer\\iexplore.exe";
    PutValue(HKEY_LOCAL_MACHINE, kServer, nullptr, expandable, REG_EXPAND_SZ);
    const std::string before = Snapshot(HKEY_CURRENT_USER);
    Install();
    ASSERT_EQ("<missing>", Record(HKEY_CURRENT_USER, kClasses + "gopher"));
    PutValue(HKEY_CURRENT_USER, kServer, nullptr, "other.exe");

    AssociationManager manager;
    manager.ReapplyTakeover(kProgram, kProduct, HKEY_CURRENT_USER);
    EXPECT_EQ(Wrapped(expandable) + " %1", GetValue(HKEY_CURRENT_USER, kClasses + "gopher\\shell\\open\\command", nullptr));
    EXPECT_EQ("-@DELETE", Record(HKEY_CURRENT_USER, kClasses + "gopher"));
    for (const std::string& path : {kServer, kClasses + "gopher\\shell\\open\\command"}) {
        SCOPED_TRACE(path);
        HKEY key = nullptr;
        DWORD type = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, nullptr));
        RegCloseKey(key);
        EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type) << "the saved command's type";
    }
    Uninstall();
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER)) << "nothing of the repair's is left";
}

TEST_F(AssociationTakeover, ReapplyWithoutSavedCommandChangesNothing)
{
    PutKey(HKEY_CURRENT_USER, kSave);
    const std::string before = Snapshot(HKEY_CURRENT_USER);
    AssociationManager manager;
    manager.ReapplyTakeover(kProgram, kProduct, HKEY_CURRENT_USER);
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER));
}

} // namespace

namespace {

TEST_F(AssociationTakeover, UserClassKeyWithoutServerKeyIsSavedFirst)
{
    const std::string classKey = kClasses + "CLSID\\{0002DF01-0000-0000-C000-000000000046}";
    struct { const char* what; bool serverKey; } cases[] = {{"no server key", false}, {"unwritable server key", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PutValue(HKEY_CURRENT_USER, classKey, nullptr, "User's own class");
        PutValue(HKEY_CURRENT_USER, classKey + "\\ProgID", nullptr, "User.Application");
        if (c.serverKey) {
            PutValue(HKEY_CURRENT_USER, kServer, nullptr, "user.exe");
            ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, kServer, "D:(A;;KRWDSD;;;WD)")) << "read, not write";
        }
        const std::string before = Snapshot(HKEY_CURRENT_USER);
        Install();
        EXPECT_EQ("-@RESTORE", Record(HKEY_CURRENT_USER, classKey));
        EXPECT_EQ("User.Application", GetValue(HKEY_CURRENT_USER, kSave + "\\" + classKey + "\\ProgID", nullptr));
        if (!c.serverKey) {
            EXPECT_EQ(Wrapped(kBrowserServer), GetValue(HKEY_CURRENT_USER, kServer, nullptr));
        }
        Uninstall();
        EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER)) << "the user's class key is back as it was";
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave));
        RemoveKey(HKEY_CURRENT_USER, classKey);
    }
}

TEST_F(AssociationTakeover, CreationThatFailsLeavesNoRecord)
{
    PutKey(HKEY_LOCAL_MACHINE, kClasses + "gopher\\shell\\secret");
    UnreadableKey locked(HKEY_LOCAL_MACHINE, kClasses + "gopher\\shell\\secret");
    ASSERT_TRUE(locked.ok());
    Install();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + "gopher")) << "the half copy went again";
    EXPECT_EQ("<missing>", Record(HKEY_CURRENT_USER, kClasses + "gopher"));
    EXPECT_EQ("-@DELETE", Record(HKEY_CURRENT_USER, kClasses + "ftp")) << "the other items are taken over";
    locked.Release();
    Uninstall();
}

TEST_F(AssociationTakeover, SaveAreaStaysWhenACopyCannotBePutBack)
{
    PutValue(HKEY_CURRENT_USER, kClasses + ".htm", nullptr, "userhtm");
    PutValue(HKEY_CURRENT_USER, kClasses + ".htm\\OpenWithList\\x.exe", nullptr, "");
    const std::string before = Snapshot(HKEY_CURRENT_USER);
    Install();
    {
        UnreadableKey locked(HKEY_CURRENT_USER, kSave + "\\" + kClasses + ".htm\\OpenWithList");
        ASSERT_TRUE(locked.ok());
        AssociationManager manager;
        manager.RestoreAssociations(kProgram, kProduct, HKEY_CURRENT_USER);
        EXPECT_TRUE(manager.RestoreIncomplete());
        EXPECT_EQ("-@RESTORE", Record(HKEY_CURRENT_USER, kClasses + ".htm")) << "the save area is kept";
        EXPECT_EQ("userhtm", GetValue(HKEY_CURRENT_USER, kSave + "\\" + kClasses + ".htm", nullptr));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + "HTTP")) << "the other items are restored";
    }
    AssociationManager retry;
    retry.RestoreAssociations(kProgram, kProduct, HKEY_CURRENT_USER);
    EXPECT_FALSE(retry.RestoreIncomplete());
    EXPECT_EQ(before, Snapshot(HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave));
}

} // namespace
