#include "launcher/UnrestrictedStart.h"
#include "programwide/LauncherState.h"
#include "tests/launcher/MessageBoxWatcher.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestRegistryKey.h"

namespace {

class UnrestrictedStartTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        g_launcher.instance = GetModuleHandleA(nullptr);
        g_launcher.mainWindow = nullptr;
        marker_ = TempFilePath("unrestricted");
        DeleteFileA(marker_.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(marker_.c_str());
        SettingsFixture::TearDown();
    }

    bool WaitForMarker()
    {
        for (int i = 0; i < 500; ++i, Sleep(10))
            if (GetFileAttributesA(marker_.c_str()) != INVALID_FILE_ATTRIBUTES)
                return true;
        return false;
    }

    std::string marker_;
};

} // namespace

TEST_F(UnrestrictedStartTest, StartsTheCommandLineWithoutAWord)
{
    g_launcher.receivedCommandLine = "received";
    g_launcher.commandLine = "cmd.exe /c echo started> \"" + marker_ + "\"";
    MessageBoxWatcher boxes;
    RunUnrestricted();
    EXPECT_TRUE(WaitForMarker());
    EXPECT_TRUE(boxes.Stop().empty());
}

TEST_F(UnrestrictedStartTest, FailedStartShowsTheReceivedCommandLine)
{
    // No save key exists under this test's caption, so there is no saved
    // browser to retry with: the text is the command line as received.
    const struct { const char* name; std::string received; std::string commandLine; } cases[] = {
        {"missing program", "-NOSPLASH C:\\missing\\nothing.exe", "C:\\missing\\nothing.exe"},
        {"unbalanced quote", "\"C:\\missing\\no thing.exe", "\"C:\\missing\\no thing.exe"},
        {"only blanks", "   ", "   "},
        {"message of 32,766 characters", std::string(32739, 'z'), std::string(32739, 'z')},
        {"longest command line", std::string(32767, 'z'), std::string(32767, 'z')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_launcher.receivedCommandLine = c.received;
        g_launcher.commandLine = c.commandLine;
        MessageBoxWatcher boxes;
        RunUnrestricted();
        const auto& seen = boxes.Stop();
        ASSERT_EQ(1u, seen.size());
        std::string expected = "Invalid application name - " + c.received;
        if (RunningOnWine() && expected.size() >= 32768) {
            // WINE_GAP: Wine's message box does not show a text of 32,768
            // characters or more: 32-bit Wine shows none, 64-bit Wine two
            // stray characters.
            EXPECT_GT(3u, seen[0].text.size()) << "Wine shows the long text now";
        } else {
            EXPECT_TRUE(expected == seen[0].text) << "the box says: " << seen[0].text.substr(0, 80) << " ("
                                                  << seen[0].text.size() << " characters)";
        }
        EXPECT_EQ(g_launcher.productCaption, seen[0].caption);
        EXPECT_FALSE(seen[0].hasOwner);
    }
}

TEST_F(UnrestrictedStartTest, FailedStartIsRetriedWithTheSavedBrowser)
{
    TestFile report = TestFile::InTemp("unrestricted-report");
    const std::string saveKey = ProductKey() + "\\Save";
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, saveKey, nullptr, StandinCommand(report.path(), "--exit")));
    g_launcher.receivedCommandLine = "-NOSPLASH http://a.example/";
    g_launcher.commandLine = "http://a.example/";
    MessageBoxWatcher boxes;
    RunUnrestricted();
    EXPECT_TRUE(boxes.Stop().empty());

    StandinReport started;
    ASSERT_TRUE(WaitForStandinReport(report.path(), 10000, started));
    EXPECT_EQ(StandinCommand(report.path(), "--exit", "http://a.example/"), started.commandLine);
    EXPECT_FALSE(started.AdministratorsDenyOnly());
}

TEST_F(UnrestrictedStartTest, FailedRetryShowsTheCommandLineWithoutItsSwitches)
{
    const std::string saveKey = ProductKey() + "\\Save";
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, saveKey, nullptr, "C:\\missing\\browser.exe"));
    g_launcher.receivedCommandLine = "-NOSPLASH http://a.example/";
    g_launcher.commandLine = "http://a.example/";
    MessageBoxWatcher boxes;
    RunUnrestricted();
    const auto& seen = boxes.Stop();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Invalid application name - http://a.example/", seen[0].text);
}
