#include "common/UniqueHandle.h"
#include "launcher/LaunchFlow.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "security/RestrictedLauncher.h"
#include "tests/launcher/MessageBoxWatcher.h"
#include "tests/support/MessageCounter.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestRegistryKey.h"
#include "tests/support/TestWindows.h"
#include "tests/support/WineVersion.h"
#include "tests/windowhooks/HookTestSupport.h"

#include <tlhelp32.h>

namespace {

// The launch flow as the first instance runs it, with a main window of the
// test's own that counts the closing check's WM_DESTROY.
class LaunchFlowRunTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        g_launcher.instance = GetModuleHandleA(nullptr);
        g_launcher.mainWindow = mainWindow_.Window();
        ASSERT_TRUE(g_launcher.mainWindow);
    }

    void TearDown() override
    {
        UnhookAll();
        for (const PendingLaunch& pending : g_tracker.pendingLaunches)
            KillTimer(g_launcher.mainWindow, pending.timerId);
        g_tracker.pendingLaunches.clear();
        EndStandin();
        g_launcher.mainWindow = nullptr;
        g_firstWindowWaitLimit = 60000;
        g_groupToDeny = AdministratorsSid;
        hookLog.SetFile("");
        SettingsFixture::TearDown();
    }

    // Ends the stand-in the run started, found by the pid it reported.
    void EndStandin()
    {
        StandinReport report;
        if (ReadStandinReport(report_.path(), report))
            EndProcess(report.pid);
    }

    static void EndProcess(DWORD pid)
    {
        unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process) {
            TerminateProcess(process.get(), 0);
            WaitForSingleObject(process.get(), 5000);
        }
    }

    // Runs the flow for TEXT and expects it to show no message box.
    static void RunQuietly(const std::string& text)
    {
        MessageBoxWatcher boxes;
        RunLaunchFlow(text);
        EXPECT_TRUE(boxes.Stop().empty());
    }

    // The stand-ins this process started that still run, suspended or not.
    static int RunningStandins()
    {
        unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        std::string name = StandinBrowserPath().substr(StandinBrowserPath().find_last_of('\\') + 1);
        int running = 0;
        for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry))
            running += entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, name.c_str()) == 0;
        return running;
    }

    MessageCounter mainWindow_{WM_DESTROY};
    TestFile report_ = TestFile::InTemp("flow-report");
};

} // namespace

TEST_F(LaunchFlowRunTest, FirstCaptionedWindowIsTrackedAfterASplashScreen)
{
    RunQuietly(StandinCommand(report_.path(), "--blank=300", "http://a.example/"));

    StandinReport report;
    ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    EXPECT_TRUE(report.AdministratorsDenyOnly());
    ASSERT_EQ(1u, g_tracker.hookIds.size());
    HWND tracked = g_tracker.hookIds[0].hWnd;
    EXPECT_EQ(FindCaptionedWindow(report.pid), tracked);
    EXPECT_EQ("http://a.example/ - Stand-in Browser", WindowCaption(tracked));
    EXPECT_TRUE(g_tracker.hookIds[0].hProcess && g_tracker.hookIds[0].hThread);
    EXPECT_TRUE(g_tracker.pendingLaunches.empty());
    EXPECT_EQ(0, mainWindow_.Count());
}

TEST_F(LaunchFlowRunTest, BrowserThatEndsWithoutAWindowBecomesAPendingLaunch)
{
    const std::string text = StandinCommand(report_.path(), "--exit", "http://a.example/");
    RunQuietly(text);

    StandinReport report;
    EXPECT_TRUE(ReadStandinReport(report_.path(), report));
    EXPECT_TRUE(g_tracker.hookIds.empty());
    ASSERT_EQ(1u, g_tracker.pendingLaunches.size());
    EXPECT_EQ(text, g_tracker.pendingLaunches[0].text);
    // No closing check: the pending launch keeps the instance alive.
    EXPECT_EQ(0, mainWindow_.Count());
}

TEST_F(LaunchFlowRunTest, NoWindowWithinTheLimitWarnsAndRunsTheClosingCheck)
{
    g_firstWindowWaitLimit = 400;
    const std::string text = StandinCommand(report_.path(), "--hidden");
    MessageBoxWatcher boxes;
    RunLaunchFlow(text);
    const auto& seen = boxes.Stop();

    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Application " + text + " cannot be run in safe mode.", seen[0].text);
    EXPECT_EQ(g_launcher.productCaption, seen[0].caption);
    EXPECT_TRUE(g_tracker.hookIds.empty());
    EXPECT_TRUE(g_tracker.pendingLaunches.empty());
    EXPECT_EQ(1, mainWindow_.Count());
    // The program runs on, untracked.
    StandinReport report;
    ASSERT_TRUE(ReadStandinReport(report_.path(), report));
    unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, report.pid));
    ASSERT_TRUE(process);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process.get(), 0));
}

TEST_F(LaunchFlowRunTest, LinkThatIsNoProgramStartsInTheSetupBrowserQuoted)
{
    // Were the browser's path put unquoted in front of the link, process
    // creation would try this planted program first.
    TestFile planted("C:\\Program.exe");
    ASSERT_TRUE(CopyFileA(StandinBrowserPath().c_str(), planted.path().c_str(), FALSE));
    StandinRegistryOptions options("--report=" + report_.path() + " --exit");

    RunQuietly("  http://a.example/x.htm");

    StandinReport report;
    ASSERT_TRUE(WaitForStandinReport(report_.path(), 10000, report));
    EXPECT_EQ("\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" http://a.example/x.htm", report.commandLine);
    ASSERT_EQ(1u, report.arguments.size());
    EXPECT_EQ("http://a.example/x.htm", report.arguments[0]);
    EXPECT_TRUE(report.AdministratorsDenyOnly());
    // The pending launch is recorded for the text as received.
    ASSERT_EQ(1u, g_tracker.pendingLaunches.size());
    EXPECT_EQ("  http://a.example/x.htm", g_tracker.pendingLaunches[0].text);
}

TEST_F(LaunchFlowRunTest, SavedBrowserCommandIsUsedAsStored)
{
    // The takeover's save key of this caption names the previous handler.
    const std::string saveKey = ProductKey() + "\\Save";
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, saveKey, nullptr,
                                  StandinCommand(report_.path(), "--exit -saved")));
    RunQuietly("\"C:\\missing\\IEXPLORE.EXE\" -nohome http://a.example/");

    StandinReport report;
    ASSERT_TRUE(WaitForStandinReport(report_.path(), 10000, report));
    EXPECT_EQ(StandinCommand(report_.path(), "--exit -saved") + " -nohome http://a.example/", report.commandLine);
}

TEST_F(LaunchFlowRunTest, FallbackThatFailsTooWarnsWithTheTextAsReceived)
{
    const std::string saveKey = ProductKey() + "\\Save";
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, saveKey, nullptr, "C:\\missing\\browser.exe"));
    MessageBoxWatcher boxes;
    RunLaunchFlow("C:\\missing\\iexplore.exe http://a.example/");
    const auto& seen = boxes.Stop();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("Invalid application name - C:\\missing\\iexplore.exe http://a.example/", seen[0].text);
    EXPECT_EQ(g_launcher.productCaption, seen[0].caption);
    EXPECT_TRUE(seen[0].hasOwner);   // the hidden main window
    // Nothing tracked, nothing pending: the closing check ends the instance.
    EXPECT_EQ(1, mainWindow_.Count());
}

TEST_F(LaunchFlowRunTest, TwoRunsInARowEachTrackTheirOwnWindow)
{
    TestFile secondReport = TestFile::InTemp("flow-report-2");
    RunQuietly(StandinCommand(report_.path(), "", "http://a.example/one"));
    RunQuietly(StandinCommand(secondReport.path(), "", "http://a.example/two"));

    StandinReport first, second;
    ASSERT_TRUE(ReadStandinReport(report_.path(), first));
    ASSERT_TRUE(ReadStandinReport(secondReport.path(), second));
    ASSERT_EQ(2u, g_tracker.hookIds.size());
    EXPECT_EQ(FindCaptionedWindow(first.pid), g_tracker.hookIds[0].hWnd);
    EXPECT_EQ(FindCaptionedWindow(second.pid), g_tracker.hookIds[1].hWnd);
    EXPECT_NE(g_tracker.hookIds[0].hWnd, g_tracker.hookIds[1].hWnd);
    EndProcess(second.pid);
}

// The browser starts suspended and runs only once its token, read back from
// the system, keeps Administrators for denying only.
TEST_F(LaunchFlowRunTest, OnlyAVerifiedTokenRunsAndIsMarked)
{
    static const struct {
        const char* name;
        CSidHolder (*deny)();
        bool runs;
    } cases[] = {
        {"Administrators deny-only", AdministratorsSid, true},
        {"Administrators left enabled", [] {
             static const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
             static const DWORD users[] = {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS};
             return CSidHolder(nt, users, 2);
         }, false},
    };
    TestFile log = TestFile::InTemp("flow-verify-log");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(report_.path().c_str());
        DeleteFileA(log.path().c_str());
        hookLog.SetFile(log.path().c_str());
        g_groupToDeny = c.deny;
        const int destroysBefore = mainWindow_.Count();
        const int standinsBefore = RunningStandins();
        const std::string text = StandinCommand(report_.path(), "", "http://a.example/");
        MessageBoxWatcher boxes;
        RunLaunchFlow(text);
        const auto& seen = boxes.Stop();

        StandinReport report;
        EXPECT_EQ(c.runs, WaitForStandinReport(report_.path(), c.runs ? 10000 : 1000, report));
        // A refused browser was ended, not left suspended.
        EXPECT_EQ(standinsBefore + (c.runs ? 1 : 0), RunningStandins());
        EXPECT_EQ(c.runs ? 1u : 0u, g_tracker.hookIds.size());
        EXPECT_TRUE(g_tracker.pendingLaunches.empty());
        EXPECT_EQ(c.runs ? 0 : 1, mainWindow_.Count() - destroysBefore);
        std::string logged = ReadWholeFile(log.path());
        if (c.runs) {
            EXPECT_TRUE(seen.empty());
            EXPECT_TRUE(report.AdministratorsDenyOnly());
            EXPECT_EQ(std::string::npos, logged.find("NOT SAFE"));
        } else {
            ASSERT_EQ(1u, seen.size());
            EXPECT_EQ("Application " + text + " cannot be run in safe mode.", seen[0].text);
            EXPECT_NE(std::string::npos,
                      logged.find("NOT SAFE (BUILTIN\\Administrators is not deny-only) -> " + text + "\r"))
                << logged;
        }
        hookLog.SetFile("");
        UnhookAll();
        EndStandin();
    }
}
