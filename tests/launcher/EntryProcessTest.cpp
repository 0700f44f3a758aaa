#include "tests/launcher/QuilletCopy.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestRegistryKey.h"

#include <windows.h>
#include <shlwapi.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class EntryProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        settings_.Set("RunShow", 0);
        settings_.Set("Key", 0);
    }

    std::string HookLog() const
    {
        std::string text;
        return ReadFileText(quillet_.Folder() + "HookWnd.log", text) ? text : "<missing>";
    }

    ProductSettings settings_;
    QuilletCopy quillet_;
    TestFile report_ = TestFile::InTemp("entry-report");
};

// Holds Shift in the desktop's key state for as long as it lives.
class HeldShift {
public:
    HeldShift() { keybd_event(VK_SHIFT, 0, 0, 0); }
    ~HeldShift() { keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0); }
};

const char kBanner[] = ":__NEW SESSION________________>\r\r";

// The libraries Quillet.exe loads at their first call, planted under their
// names in a folder that is the current folder while this lives: a copy of
// tests/launcher/planted, which leaves "NAME.loaded" when loaded. The safe
// search order is off, as Windows 2000 has it, so that a bare name is looked
// for in the current folder before the system folder, and Wine is told to
// take a library it finds before its own.
class PlantedLibraries {
public:
    PlantedLibraries()
    {
        CreateDirectoryA(folder_.c_str(), nullptr);
        for (const char* name : kNames)
            CopyFileA((TestModuleDirectory() + "planted_library.dll").c_str(), (folder_ + name).c_str(), FALSE);
        GetCurrentDirectoryA(MAX_PATH, previousFolder_);
        SetCurrentDirectoryA(folder_.c_str());
        SetEnvironmentVariableA("WINEDLLOVERRIDES", "comctl32,psapi,secur32,shell32,shlwapi,userenv=n,b");
        DWORD size = sizeof safeSearch_;
        hadSafeSearch_ = SHGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kSafeSearch, nullptr, &safeSearch_,
                                     &size) == ERROR_SUCCESS;
        DWORD off = 0;
        SHSetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kSafeSearch, REG_DWORD, &off, sizeof off);
    }
    ~PlantedLibraries()
    {
        if (hadSafeSearch_)
            SHSetValueA(HKEY_LOCAL_MACHINE, kSessionManager, kSafeSearch, REG_DWORD, &safeSearch_, sizeof safeSearch_);
        else
            SHDeleteValueA(HKEY_LOCAL_MACHINE, kSessionManager, kSafeSearch);
        SetEnvironmentVariableA("WINEDLLOVERRIDES", nullptr);
        SetCurrentDirectoryA(previousFolder_);
        for (const char* name : kNames) {
            DeleteFileA((folder_ + name).c_str());
            DeleteFileA((folder_ + name + ".loaded").c_str());
        }
        RemoveDirectoryA(folder_.c_str());
    }

    // The planted libraries that were loaded.
    std::vector<std::string> Loaded() const
    {
        std::vector<std::string> loaded;
        for (const char* name : kNames) {
            if (GetFileAttributesA((folder_ + name + ".loaded").c_str()) != INVALID_FILE_ATTRIBUTES)
                loaded.push_back(name);
        }
        return loaded;
    }

private:
    static constexpr const char* kNames[] = {"comctl32.dll", "psapi.dll",   "secur32.dll",
                                             "shell32.dll",  "shlwapi.dll", "userenv.dll"};
    static constexpr const char* kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const char* kSafeSearch = "SafeDllSearchMode";
    std::string folder_ = TempFilePath("planted") + "\\";
    char previousFolder_[MAX_PATH] = {};
    bool hadSafeSearch_ = false;
    DWORD safeSearch_ = 0;
};

} // namespace

TEST_F(EntryProcessTest, ProtectedStartStaysWhileTheBrowserWindowLives)
{
    settings_.Set("Log", 1);
    settings_.Set("RunShow", 5);   // "-NOSPLASH" keeps the startup dialog away
    ASSERT_TRUE(WriteFileText(quillet_.Folder() + "HookWnd.log", "an old session\r"));
    std::vector<SeenMessageBox> boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, quillet_.Run(StandinCommand(report_.path(), "--stay=1500 -NOSPLASH", "http://a.example/"), 20000,
                               &boxes));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_TRUE(boxes.empty());

    StandinReport report;
    ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    EXPECT_EQ(StandinCommand(report_.path(), "--stay=1500", "http://a.example/"), report.commandLine);
    EXPECT_TRUE(report.AdministratorsDenyOnly());
    // The instance ended only after the browser's window had closed.
    EXPECT_GE(elapsed, 1500u);
    // A fresh log that starts with the banner.
    std::string log = HookLog();
    EXPECT_EQ(kBanner, log.substr(0, sizeof kBanner - 1));
    EXPECT_NE(std::string::npos, log.find("HOOK NEW"));
}

// The shell starts Quillet with the opened page's folder as the current
// folder; a page from a share or an unpacked archive brings its neighbours.
TEST_F(EntryProcessTest, ALibraryBesideTheOpenedPageIsNeverLoaded)
{
    PlantedLibraries planted;
    settings_.Set("RunShow", 5);
    EXPECT_EQ(0u, quillet_.Run(StandinCommand(report_.path(), "--stay=300 -NOSPLASH", "http://a.example/")));
    EXPECT_EQ(std::vector<std::string>{}, planted.Loaded());
    StandinReport report;
    ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    EXPECT_TRUE(report.AdministratorsDenyOnly());
}

// A limited user may only read the program's folder under Program Files (a
// folder stands in the log's place here): the hook log is the user's own.
TEST_F(EntryProcessTest, AHookLogThatCannotBeWrittenBesideTheProgramIsTheUsersOwn)
{
    TestAppData appData;
    settings_.Set("Log", 1);
    const std::string blocked = quillet_.Folder() + "HookWnd.log";
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    EXPECT_EQ(0u, quillet_.Run(StandinCommand(report_.path(), "--stay=300 -NOSPLASH", "http://a.example/")));
    std::string log;
    EXPECT_TRUE(ReadFileText(appData.UserLog("Quillet", "HookWnd.log"), log));
    EXPECT_EQ(kBanner, log.substr(0, sizeof kBanner - 1));
    EXPECT_NE(std::string::npos, log.find("HOOK NEW")) << log;
    RemoveDirectoryA(blocked.c_str());
}

TEST_F(EntryProcessTest, EmbeddingKeepsTheStartupDialogAwayAndStaysInTheText)
{
    settings_.Set("RunShow", 5);
    std::vector<SeenMessageBox> boxes;
    EXPECT_EQ(0u, quillet_.Run(StandinCommand(report_.path(), "--stay=300 -Embedding"), 20000, &boxes));
    EXPECT_TRUE(boxes.empty());
    StandinReport report;
    ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    EXPECT_EQ(std::vector<std::string>{"-Embedding"}, report.arguments);
}

TEST_F(EntryProcessTest, BypassKeyHeldWhileTheLinkOpensStartsTheBrowserUnrestricted)
{
    settings_.Set("Key", 0x100000);
    StandinReport report;
    {
        HeldShift shift;
        EXPECT_EQ(0u, quillet_.Run(StandinCommand(report_.path(), "--stay=300 -NOSPLASH")));
        ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    }
    EXPECT_EQ(StandinCommand(report_.path(), "--stay=300 "), report.commandLine);
    if (RunningOnWine()) {
        // WINE_GAP: a key pressed before a process starts is not in that
        // process's GetKeyboardState under Wine, so the start stays protected.
        EXPECT_TRUE(report.AdministratorsDenyOnly());
    } else {
        EXPECT_FALSE(report.AdministratorsDenyOnly());
    }
}

TEST_F(EntryProcessTest, HookLogIsLeftAloneUnlessLogIsOne)
{
    for (DWORD value : {0u, 2u}) {
        SCOPED_TRACE(value);
        settings_.Set("Log", value);
        ASSERT_TRUE(WriteFileText(quillet_.Folder() + "HookWnd.log", "old"));
        EXPECT_EQ(0u, quillet_.Run(StandinCommand(report_.path(), "--stay=200 -NOSPLASH")));
        EXPECT_EQ("old", HookLog());
    }
}

TEST_F(EntryProcessTest, UninstallSwitchEndsWithTheActionsResult)
{
    // Nothing is taken over in a fresh prefix, so the restore has nothing to
    // do: 1, whatever the spelling, with no window and no browser started.
    const char* const spellings[] = {"-UNINSTALL", "-uninstall", "x -UnInstall y"};
    for (const char* spelling : spellings) {
        SCOPED_TRACE(spelling);
        EXPECT_EQ(1u, quillet_.Run(spelling));
    }
}

TEST_F(EntryProcessTest, VersionWithoutRestrictedStartLeavesAPendingLaunchThatExpires)
{
    // Windows 7 for this program alone: the restricted start starts nothing,
    // the launch stays pending for its 10 seconds and is then reported.
    TestRegistryKey version(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Quillet.exe");
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, version.path(), "Version", "win7"));
    const std::string text = StandinCommand(report_.path(), "--stay=200");
    // A captioned window elsewhere on the desktop is no window of the launch.
    HWND bystander = CreateWindowExA(0, "STATIC", "Bystander", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 80,
                                     nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(bystander);
    std::vector<SeenMessageBox> boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, quillet_.Run("-NOSPLASH " + text, 30000, &boxes));
    DestroyWindow(bystander);
    EXPECT_GE(GetTickCount() - start, 10000u);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Application " + text + " cannot be run in safe mode.", boxes[0].text);
    EXPECT_FALSE(report_.Exists());
}

TEST_F(EntryProcessTest, OddCommandLinesReachTheBrowserFallbackUnharmed)
{
    // None of these is a program: each goes to the browser from the setup
    // record with what follows a browser name, or the whole text.
    StandinRegistryOptions options("--stay=300 --report=" + report_.path());
    const struct { const char* name; std::string commandLine; std::vector<std::string> arguments; } cases[] = {
        {"unbalanced quote", "\"http://a.example/x y", {"http://a.example/x y"}},
        {"repeated switches", "-nosplash -NOSPLASH -NoCaption -NOCAPTION http://a.example/",
         {"-NOSPLASH", "-NOCAPTION", "http://a.example/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(report_.path().c_str());
        std::vector<SeenMessageBox> boxes;
        EXPECT_EQ(0u, quillet_.Run(c.commandLine, 20000, &boxes));
        EXPECT_TRUE(boxes.empty());
        StandinReport report;
        ASSERT_TRUE(ReadStandinReport(report_.path(), report));
        EXPECT_EQ(c.arguments, report.arguments);
        EXPECT_TRUE(report.AdministratorsDenyOnly());
    }
}

TEST_F(EntryProcessTest, EmptyCommandLineOpensTheSettingsDialogAndLaunchesNothing)
{
    // Blanks alone are no arguments: the program gets an empty command line.
    // Every dialog is cancelled, the takeover prompt that the settings dialog
    // may show first as well, so that nothing is taken over.
    StandinRegistryOptions options("--stay=300 --report=" + report_.path());
    for (const char* commandLine : {"", "     "}) {
        SCOPED_TRACE(testing::Message() << "\"" << commandLine << "\"");
        std::vector<SeenMessageBox> dialogs;
        EXPECT_EQ(0u, quillet_.Run(commandLine, 20000, &dialogs, IDCANCEL));
        bool settingsShown = false;
        for (const SeenMessageBox& dialog : dialogs)
            settingsShown = settingsShown || dialog.caption == "Orvane Quillet";
        EXPECT_TRUE(settingsShown);
        EXPECT_FALSE(report_.Exists());
    }
}

TEST_F(EntryProcessTest, LongestCommandLineIsCarriedWhole)
{
    // As long as a process's command line may be, with Quillet's own path.
    StandinRegistryOptions options("--stay=300 --report=" + report_.path());
    std::string commandLine = std::string(32767 - 3 - quillet_.Program().size() - 1, 'z');
    std::vector<SeenMessageBox> boxes;
    EXPECT_EQ(0u, quillet_.Run(commandLine, 20000, &boxes));
    if (RunningOnWine()) {
        // WINE_GAP: Wine starts command lines longer than 32,767 characters,
        // so the browser in front of the text still starts, with all of it.
        EXPECT_TRUE(boxes.empty());
        StandinReport report;
        ASSERT_TRUE(ReadStandinReport(report_.path(), report));
        ASSERT_EQ(1u, report.arguments.size());
        EXPECT_TRUE(commandLine == report.arguments[0]);
    } else {
        ASSERT_EQ(1u, boxes.size());
        EXPECT_TRUE("Invalid application name - " + commandLine == boxes[0].text);
        EXPECT_FALSE(report_.Exists());
    }
}

TEST_F(EntryProcessTest, InstallSwitchInAnyCaseTakesOverAndUninstallGivesBack)
{
    const std::string httpCommand = "Software\\Classes\\http\\shell\\open\\command";
    auto handler = [&] {
        std::string text;
        return ReadRegistryText(HKEY_CURRENT_USER, httpCommand, nullptr, text) ? text : "<none>";
    };
    auto upper = [](std::string text) {
        CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
        return text;
    };
    const std::string program = upper(quillet_.Program());
    ASSERT_EQ(std::string::npos, upper(handler()).find(program)) << handler();

    // Whatever happens below, the takeover is given back at the end.
    struct Restore {
        const QuilletCopy& quillet;
        ~Restore() { quillet.Run("-UNINSTALL"); }
    } restore{quillet_};
    EXPECT_EQ(0u, quillet_.Run("-Install"));
    EXPECT_NE(std::string::npos, upper(handler()).find(program)) << handler();
    EXPECT_EQ(0u, quillet_.Run("-install"));   // already taken over
    EXPECT_EQ(0u, quillet_.Run("some text -uNiNsTaLl"));
    EXPECT_EQ(std::string::npos, upper(handler()).find(program)) << handler();
    EXPECT_EQ(1u, quillet_.Run("-UNINSTALL"));
}

TEST_F(EntryProcessTest, SwitchFollowedByLettersIsNoSwitch)
{
    // "-INSTALLED" is text to launch: it reaches the browser fallback.
    StandinRegistryOptions options("--stay=300 --report=" + report_.path());
    EXPECT_EQ(0u, quillet_.Run("-INSTALLED"));
    StandinReport report;
    ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    EXPECT_EQ(std::vector<std::string>{"-INSTALLED"}, report.arguments);
}

TEST_F(EntryProcessTest, SecondStartHandsOverAndLeavesTheHookLogToTheFirst)
{
    settings_.Set("Log", 1);
    const std::string log = quillet_.Folder() + "HookWnd.log";
    TestFile secondReport = TestFile::InTemp("entry-report-2");
    TestProcess first;
    ASSERT_TRUE(first.Start(Quoted(quillet_.Program()) + " -NOSPLASH " +
                            StandinCommand(report_.path(), "--stay=3000", "http://a.example/one")));
    std::string text;
    auto tracked = [&] { return ReadFileText(log, text) && text.find("HOOK NEW") != std::string::npos; };
    ASSERT_TRUE(WaitUntil(10000, tracked));

    // The second start ends once the first instance has run its launch.
    const std::string secondText = StandinCommand(secondReport.path(), "--stay=300", "http://a.example/two");
    EXPECT_EQ(0u, quillet_.Run("-NOSPLASH " + secondText));
    StandinReport second;
    EXPECT_TRUE(ReadStandinReport(secondReport.path(), second));
    EXPECT_TRUE(second.AdministratorsDenyOnly());
    EXPECT_TRUE(first.Running());

    EXPECT_EQ(0u, first.WaitOrKill(20000));
    ASSERT_TRUE(ReadFileText(log, text));
    EXPECT_EQ(0u, text.find(kBanner));
    EXPECT_EQ(std::string::npos, text.find(kBanner, 1));
    size_t hooked = text.find("HOOK NEW");
    EXPECT_NE(std::string::npos, text.find("HOOK NEW", hooked + 1)) << "both browsers' windows are tracked";
}
