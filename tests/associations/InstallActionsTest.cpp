#include "launcher/InstallActions.h"
#include "programwide/LauncherState.h"
#include "tests/associations/RegistrySandbox.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kMain[] = "SOFTWARE\\Orvane\\InstallTest\\Main";
const char kSave[] = "SOFTWARE\\Orvane\\InstallTest\\Save";

// The entry's state as Quillet.exe would have it, with the program in a
// folder of the test's own so that its "ErrorBrowser.log" is the test's too.
class InstallActions : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.ok());
        saved = g_launcher;
        folder = TempFilePath("assoc-install");
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        std::snprintf(g_launcher.modulePath, sizeof g_launcher.modulePath, "%s\\Quillet.exe", folder.c_str());
        std::strcpy(g_launcher.productCaption, "InstallTest");
        logPath = folder + "\\ErrorBrowser.log";
        WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    }

    void TearDown() override
    {
        DeleteFileA(logPath.c_str());
        RemoveDirectoryA(folder.c_str());
        g_launcher = saved;
    }

    std::string Snapshot()
    {
        return DumpTree(HKEY_CURRENT_USER, "Software\\Classes") +
               DumpTree(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main") +
               DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes");
    }

    std::string Log()
    {
        std::string text;
        ReadFileText(logPath, text);
        return text;
    }

    DWORD KeySetting()
    {
        DWORD value = 0xdeadbeef;
        DWORD size = sizeof value;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kMain, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegQueryValueExA(key, "Key", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
            RegCloseKey(key);
        }
        return value;
    }

    RegistrySandbox sandbox;
    LauncherState saved;
    std::string folder;
    std::string logPath;
};

TEST_F(InstallActions, InstallTakesOverOnceAndUninstallGivesEverythingBack)
{
    const std::string before = Snapshot();
    ASSERT_TRUE(WriteFileText(logPath, "stale record\r"));

    EXPECT_EQ(0, InstallAction());
    EXPECT_EQ(0u, Log().find("...>Start Error Test ( HKCU )\r")) << "a fresh log";
    EXPECT_NE(std::string::npos, Log().find("...>Start Error Test ( HKLM )\r"));
    EXPECT_NE(std::string::npos, Log().find("<<<<< Begin Save Browser >>>>>\r"));
    EXPECT_EQ(0x100000u, KeySetting()) << "Shift bypasses on a fresh installation";
    EXPECT_EQ(std::string(g_launcher.modulePath) + " \"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome %1",
              GetValue(HKEY_CURRENT_USER, "Software\\Classes\\HTTP\\shell\\open\\command", nullptr));
    EXPECT_EQ("-@DELETE", GetValue(HKEY_CURRENT_USER, kSave, "HKCU_>:Software\\Classes\\HTTP"));
    const std::string installed = Snapshot();

    // A second install finds the takeover complete and changes nothing; it
    // does not judge the handlers as before a takeover again.
    EXPECT_EQ(0, InstallAction());
    EXPECT_EQ(installed, Snapshot());
    EXPECT_EQ(std::string::npos, Log().find("Start Error Test"));

    EXPECT_EQ(0, UninstallAction());
    EXPECT_EQ(before, Snapshot());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave));
    EXPECT_EQ(g_launcher.modulePath, GetValue(HKEY_CURRENT_USER, kMain, "FileName"));
    EXPECT_EQ(0x100000u, KeySetting());

    EXPECT_EQ(1, UninstallAction()) << "nothing left to give back";
    EXPECT_EQ(before, Snapshot());
}

TEST_F(InstallActions, InstallGoesOnWithATakeoverThatWasEndedHalfway)
{
    const std::string before = Snapshot();
    const std::string command = "Software\\Classes\\HTTP\\shell\\open\\command";
    // Ended right after the save area was made, and after the first items.
    ASSERT_EQ(0, InstallAction());
    PutValue(HKEY_CURRENT_USER, command, nullptr, GetValue(HKEY_LOCAL_MACHINE, command, nullptr));
    RemoveKey(HKEY_CURRENT_USER, "Software\\Classes\\htmlfile");
    HKEY save = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kSave, 0, KEY_SET_VALUE, &save));
    RegDeleteValueA(save, "HKCU_>:Software\\Classes\\htmlfile");
    RegCloseKey(save);

    EXPECT_EQ(0, InstallAction());
    EXPECT_EQ(std::string(g_launcher.modulePath) + " \"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome %1",
              GetValue(HKEY_CURRENT_USER, command, nullptr));
    EXPECT_EQ("-@DELETE", GetValue(HKEY_CURRENT_USER, kSave, "HKCU_>:Software\\Classes\\htmlfile"));
    EXPECT_EQ(0, UninstallAction());
    EXPECT_EQ(before, Snapshot());

    // A save area that holds nothing yet.
    PutKey(HKEY_CURRENT_USER, kSave);
    EXPECT_EQ(0, InstallAction());
    EXPECT_NE("<missing>", GetValue(HKEY_CURRENT_USER, command, nullptr));
    EXPECT_EQ("-@DELETE", GetValue(HKEY_CURRENT_USER, kSave, "HKCU_>:Software\\Classes\\HTTP"));
    EXPECT_EQ(0, UninstallAction());
    EXPECT_EQ(before, Snapshot());
}

TEST_F(InstallActions, InstallThatCannotWriteTheSaveAreaChangesNothing)
{
    // Keys below a volatile key must be volatile too: the product's keys
    // cannot be made.
    HKEY product = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\InstallTest", 0, nullptr,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &product, nullptr));
    RegCloseKey(product);
    const std::string before = Snapshot() + DumpTree(HKEY_CURRENT_USER, "SOFTWARE\\Orvane");

    EXPECT_EQ(1, InstallAction());
    EXPECT_EQ(before, Snapshot() + DumpTree(HKEY_CURRENT_USER, "SOFTWARE\\Orvane"));
    RemoveKey(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\InstallTest");
}

TEST_F(InstallActions, UninstallThatKeepsTheSaveAreaSaysSo)
{
    // Each key is kept from the restore: a saved copy that cannot be read, a
    // created key that cannot be deleted, a browser key whose
    // "Check_Associations" cannot be written back.
    const char* const cases[][2] = {
        {"SOFTWARE\\Orvane\\InstallTest\\Save\\Software\\Classes\\ftp\\UserData", "D:(D;;KR;;;WD)(A;;KA;;;WD)"},
        {"Software\\Classes\\HTTP", "D:(D;;KR;;;WD)(A;;KA;;;WD)"},
        {"Software\\Microsoft\\Internet Explorer\\Main", "D:(A;;KR;;;WD)"},
    };
    PutValue(HKEY_CURRENT_USER, "Software\\Classes\\ftp\\UserData", nullptr, "kept");
    const std::string before = Snapshot();
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        ASSERT_EQ(0, InstallAction());
        ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, c[0], c[1]));
        EXPECT_EQ(2, UninstallAction()) << "restore incomplete, save area kept";
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSave));
        EXPECT_NE(std::string::npos, Log().find("Not given back ( HKCU\\")) << Log();
        ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, c[0], "D:(A;;KA;;;WD)"));
        EXPECT_EQ(0, UninstallAction());
        EXPECT_EQ(before, Snapshot());
        EXPECT_EQ(1, UninstallAction()) << "not installed";
        DeleteFileA(logPath.c_str());
    }
}

// A limited user may only read the program's folder under Program Files (a
// folder stands in the log's place here): the install's log is the user's
// own copy, which the uninstall goes on with (a key it cannot give back),
// until a log begun next to the program again takes its place.
TEST_F(InstallActions, ALogThatCannotBeWrittenBesideTheProgramIsTheUsersOwn)
{
    TestAppData appData;
    const std::string own = appData.UserLog("InstallTest", "ErrorBrowser.log");
    const char kKept[] = "Software\\Classes\\HTTP";
    ASSERT_TRUE(CreateDirectoryA(logPath.c_str(), nullptr));
    EXPECT_EQ(0, InstallAction());
    std::string installed, uninstalled;
    EXPECT_TRUE(ReadFileText(own, installed));
    EXPECT_NE(std::string::npos, installed.find("-> Begin")) << installed;
    ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, kKept, "D:(D;;KR;;;WD)(A;;KA;;;WD)"));
    EXPECT_EQ(2, UninstallAction());
    EXPECT_TRUE(ReadFileText(own, uninstalled));
    EXPECT_EQ(installed, uninstalled.substr(0, installed.size()));
    EXPECT_NE(std::string::npos, uninstalled.find("Not given back ( HKCU\\", installed.size())) << uninstalled;
    ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, kKept, "D:(A;;KA;;;WD)"));
    EXPECT_EQ(0, UninstallAction());

    ASSERT_TRUE(RemoveDirectoryA(logPath.c_str()));
    EXPECT_EQ(0, InstallAction());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(own.c_str()));
    EXPECT_NE(std::string::npos, Log().find("-> Begin")) << Log();
    EXPECT_EQ(0, UninstallAction());
}

TEST_F(InstallActions, ARecordWhoseCopyIsGoneLosesOnlyQuillet)
{
    const std::string command = "Software\\Classes\\HTTP\\shell\\open\\command";
    PutValue(HKEY_CURRENT_USER, command, nullptr, kBrowserCommand);
    ASSERT_EQ(0, InstallAction());
    RemoveKey(HKEY_CURRENT_USER, std::string(kSave) + "\\Software\\Classes\\HTTP");

    EXPECT_EQ(0, UninstallAction());
    EXPECT_EQ(std::string(kBrowserCommand) + " %1", GetValue(HKEY_CURRENT_USER, command, nullptr))
        << "the wrap's %1 cannot be told apart and stays";
    EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\http\\DefaultIcon", nullptr),
              GetValue(HKEY_CURRENT_USER, "Software\\Classes\\HTTP\\DefaultIcon", nullptr));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave));
    EXPECT_NE(std::string::npos, Log().find("Saved copy missing ( HKCU\\Software\\Classes\\HTTP )")) << Log();
}

// Every item the takeover works on is judged for the answer, those the
// before-takeover check leaves out too. Each key here cannot be changed.
TEST_F(InstallActions, InstallThatCannotWrapEveryItemSaysSo)
{
    const char* const cases[][2] = {
        {"Software\\Classes\\.shtml", "shtmlfile"},
        {"Software\\Classes\\InternetShortcut\\shell\\open\\command", "\"C:\\Other\\OTHER.EXE\" %1"},
        {"Software\\Classes\\Applications\\iexplore.exe\\shell\\open\\command", kBrowserCommand},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        PutValue(HKEY_CURRENT_USER, c[0], nullptr, c[1]);
        const std::string before = Snapshot();
        ASSERT_TRUE(SetKeyAccess(HKEY_CURRENT_USER, c[0], "D:(A;;KR;;;WD)"));
        EXPECT_EQ(1, InstallAction());
        SetKeyAccess(HKEY_CURRENT_USER, c[0], "D:(A;;KA;;;WD)");
        EXPECT_EQ(0, UninstallAction());
        EXPECT_EQ(before, Snapshot());
        RemoveKey(HKEY_CURRENT_USER, c[0]);
    }
}

// The wraps name the program path they were made with; a copy started
// from another path (another spelling of the same one, another folder and
// name) wraps every handler once, with its own path.
TEST_F(InstallActions, AMovedOrRenamedCopyIsWrappedOnce)
{
    const std::string original = g_launcher.modulePath;
    std::string upper = original;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    // The same path in other case is the same file: its wraps stay as they are.
    const std::string moved = folder + "\\Moved\\QuilletMoved.exe";
    const std::string paths[][2] = {{upper, original}, {moved, moved}};
    const std::string command = "Software\\Classes\\HTTP\\shell\\open\\command";
    const std::string before = Snapshot();
    for (const auto& row : paths) {
        const std::string& path = row[0];
        const std::string& wrapper = row[1];
        SCOPED_TRACE(path);
        std::snprintf(g_launcher.modulePath, sizeof g_launcher.modulePath, "%s", original.c_str());
        ASSERT_EQ(0, InstallAction());
        std::snprintf(g_launcher.modulePath, sizeof g_launcher.modulePath, "%s", path.c_str());
        EXPECT_EQ(0, InstallAction());
        EXPECT_EQ(wrapper + " " + kBrowserCommand + " %1", GetValue(HKEY_CURRENT_USER, command, nullptr));
        EXPECT_EQ(wrapper + " " + kBrowserServer,
                  GetValue(HKEY_CURRENT_USER,
                           "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32", nullptr));
        EXPECT_EQ(path, GetValue(HKEY_CURRENT_USER, kMain, "FileName"));
        EXPECT_EQ(0, UninstallAction());
        EXPECT_EQ(before, Snapshot());
    }
}

TEST_F(InstallActions, ChosenBypassKeysAreKept)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kMain, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD chosen = 0x110012;
    RegSetValueExA(key, "Key", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&chosen), sizeof chosen);
    RegCloseKey(key);
    EXPECT_EQ(0, InstallAction());
    EXPECT_EQ(0x110012u, KeySetting());
    // No bypass keys, chosen after the install: an update keeps that too.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kMain, 0, KEY_SET_VALUE, &key));
    chosen = 0;
    RegSetValueExA(key, "Key", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&chosen), sizeof chosen);
    RegCloseKey(key);
    EXPECT_EQ(0, InstallAction());
    EXPECT_EQ(0u, KeySetting());
    EXPECT_EQ(0, UninstallAction());
}

TEST_F(InstallActions, AnotherBrowserAsHandlerIsLeftAlone)
{
    struct { HKEY root; const char* path; const char* command; } cases[] = {
        {HKEY_LOCAL_MACHINE, "Software\\Classes\\http\\shell\\open\\command", "\"C:\\Other\\OTHER.EXE\" \"%1\""},
        {HKEY_CURRENT_USER, "Software\\Classes\\htmlfile\\shell\\open\\command", "\"C:\\Other\\OTHER.EXE\" \"%1\""},
        {HKEY_CURRENT_USER, "Software\\Classes\\.html", "OtherHTML"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string previous = GetValue(c.root, c.path, nullptr);
        PutValue(c.root, c.path, nullptr, c.command);
        const std::string before = Snapshot();
        EXPECT_EQ(1, InstallAction());
        EXPECT_EQ(before, Snapshot());
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSave));
        EXPECT_EQ(0xdeadbeefu, KeySetting()) << "no setting written";
        EXPECT_NE(std::string::npos, Log().find("...>End Error Test\r"));
        EXPECT_EQ(std::string::npos, Log().find("Begin Save Browser"));
        if (previous == "<missing>")
            RemoveKey(c.root, c.path);
        else
            PutValue(c.root, c.path, nullptr, previous);
    }
}

} // namespace
