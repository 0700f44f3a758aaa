// Windows 2000 takes the machine-wide classes over as well and removes the
// DDE keys. Wine gives one program the version of its AppDefaults entry, so
// the test runs its other half in a child copy of this program made
// Windows 2000 for the time of the run.
#include "associations/SystemVersion.h"
#include "launcher/InstallActions.h"
#include "programwide/LauncherState.h"
#include "tests/associations/RegistrySandbox.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstring>
#include <string>

namespace {

const char kClasses[] = "Software\\Classes\\";

std::string Snapshot()
{
    return DumpTree(HKEY_CURRENT_USER, "Software\\Classes") + DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes") +
           DumpTree(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main");
}

// Runs inside the child only (disabled in the ordinary run).
TEST(Windows2000, DISABLED_BothRootsAreTakenOverAndGivenBack)
{
    ASSERT_TRUE(IsWindows2000());
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    const LauncherState saved = g_launcher;
    std::strcpy(g_launcher.modulePath, "C:\\Tools\\Quillet\\Quillet.exe");
    std::strcpy(g_launcher.productCaption, "Win2000Test");
    const std::string before = Snapshot();

    EXPECT_EQ(0, InstallAction());
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        SCOPED_TRACE(root == HKEY_CURRENT_USER ? "HKCU" : "HKLM");
        EXPECT_TRUE(KeyExists(root, "SOFTWARE\\Orvane\\Win2000Test\\Save"));
        for (const char* name : {"htmlfile", "http", "mhtmlfile"}) {
            const std::string shell = std::string(kClasses) + name + "\\shell\\";
            EXPECT_FALSE(KeyExists(root, shell + "open\\ddeexec")) << name;
            EXPECT_EQ("C:\\Tools\\Quillet\\Quillet.exe \"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome %1",
                      GetValue(root, shell + "open\\command", nullptr));
        }
    }
    EXPECT_EQ("-@RESTORE", GetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Win2000Test\\Save",
                                    "HKLM_>:Software\\Classes\\htmlfile"));


    // Another user's takeover still runs through the machine-wide one: this
    // user gives their own back and leaves it, and a limited user then takes
    // theirs over beside it, which cannot touch it.
    const std::string machineTaken = DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes");
    EXPECT_EQ(0, UninstallAction(UninstallScope::RunningUser));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Win2000Test\\Save"));
    EXPECT_EQ(machineTaken, DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes"));
    ASSERT_TRUE(SetKeyAccess(HKEY_LOCAL_MACHINE, "Software", "D:(A;;KR;;;WD)"));
    ASSERT_TRUE(SetKeyAccess(HKEY_LOCAL_MACHINE, "Software\\Classes", "D:(A;;KR;;;WD)"));
    EXPECT_EQ(0, InstallAction()) << "a limited user beside the machine-wide takeover";
    SetKeyAccess(HKEY_LOCAL_MACHINE, "Software", "D:(A;;KA;;;WD)");
    SetKeyAccess(HKEY_LOCAL_MACHINE, "Software\\Classes", "D:(A;;KA;;;WD)");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Win2000Test\\Save"));
    EXPECT_EQ(machineTaken, DumpTree(HKEY_LOCAL_MACHINE, "Software\\Classes"));

    EXPECT_EQ(0, UninstallAction());
    EXPECT_EQ(before, Snapshot());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Win2000Test\\Save"));
    g_launcher = saved;
}

// Without a machine-wide save area the per-user takeover stands; that is
// done only for a user who can write nothing machine-wide. Runs inside the
// child only.
TEST(Windows2000, DISABLED_WithoutAMachineWideSaveAreaOnlyALimitedUserIsDone)
{
    ASSERT_TRUE(IsWindows2000());
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());
    WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    const LauncherState saved = g_launcher;
    std::strcpy(g_launcher.modulePath, "C:\\Tools\\Quillet\\Quillet.exe");
    std::strcpy(g_launcher.productCaption, "Win2000Test");
    const std::string before = Snapshot();
    struct { const char* what; int install; } cases[] = {
        {"the machine-wide product key cannot hold a save area", 1},
        {"a limited user", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Keys below a volatile key must be volatile too: the save area cannot be made.
        HKEY product = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Win2000Test", 0, nullptr,
                                                 REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &product, nullptr));
        RegCloseKey(product);
        if (c.install == 0) {
            ASSERT_TRUE(SetKeyAccess(HKEY_LOCAL_MACHINE, "Software", "D:(A;;KR;;;WD)"));
            ASSERT_TRUE(SetKeyAccess(HKEY_LOCAL_MACHINE, "Software\\Classes", "D:(A;;KR;;;WD)"));
        }
        EXPECT_EQ(c.install, InstallAction());
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Win2000Test\\Save")) << "the per-user takeover stands";
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Win2000Test\\Save"));
        SetKeyAccess(HKEY_LOCAL_MACHINE, "Software", "D:(A;;KA;;;WD)");
        SetKeyAccess(HKEY_LOCAL_MACHINE, "Software\\Classes", "D:(A;;KA;;;WD)");
        EXPECT_EQ(0, UninstallAction());
        EXPECT_EQ(before, Snapshot());
        RemoveKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane");
    }
    g_launcher = saved;
}

// Wine reads the version of a program from
// HKCU\Software\Wine\AppDefaults\<program>\Version as the program starts.
class AppVersion {
public:
    AppVersion(const std::string& program, const char* version) : path_("Software\\Wine\\AppDefaults\\" + program)
    {
        existed_ = KeyExists(HKEY_CURRENT_USER, path_);
        PutValue(HKEY_CURRENT_USER, path_, "Version", version);
    }
    ~AppVersion()
    {
        if (existed_) {
            SHDeleteValueA(HKEY_CURRENT_USER, path_.c_str(), "Version");
        } else {
            SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        }
        // An empty AppDefaults key holds nothing; Wine may have made it for us.
        SHDeleteEmptyKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults");
    }

private:
    std::string path_;
    bool existed_;
};

TEST(Windows2000, MachineWideClassesFollowThePerUserOnes)
{
    if (!RunningOnWine())
        GTEST_SKIP() << "the child's version comes from Wine's per-program setting";
    EXPECT_FALSE(IsWindows2000()) << "the test prefix runs as Windows XP";

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    AppVersion version(PathFindFileNameA(self), "win2k");
    std::string command = std::string("\"") + self +
                          "\" --gtest_also_run_disabled_tests --gtest_filter=Windows2000.DISABLED_*";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        << GetLastError();
    CloseHandle(child.hThread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 60000));
    DWORD exitCode = 0xdeadbeef;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    EXPECT_EQ(0u, exitCode) << "the Windows 2000 half failed; its output is above";
}

} // namespace
