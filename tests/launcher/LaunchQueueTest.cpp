// Links launched in turn while the first instance waits for a browser's
// first window: what other programs send meanwhile is answered at once.
#include "tests/launcher/MainWindowFixture.h"

#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestThread.h"
#include "ui/resource.h"

#include <atomic>

namespace {

// The first link runs the real launch flow for a browser whose first window
// never comes: it shows a blank, uncaptioned one until the test ends it,
// which ends the wait. Every later link is only recorded.
class LaunchQueueTest : public FirstInstanceTest {
protected:
    void SetUp() override
    {
        FirstInstanceTest::SetUp();
        g_firstWindowWaitLimit = 20000;
    }
    void TearDown() override
    {
        g_firstWindowWaitLimit = 60000;
        FirstInstanceTest::TearDown();
    }

    void OnHandOff(const std::string& text) override
    {
        FirstInstanceTest::OnHandOff(text);
        if (handedOff_.size() == 1) {
            RunLaunchFlow(text);
            firstLaunchEnded_ = true;
        }
    }

    std::string SlowBrowser() const { return StandinCommand(report_.path(), "--blank=60000", "http://slow.example/"); }

    // A thread's body: once the slow browser runs (its launch then waits for
    // its window), WHILE_WAITING, then the browser's end.
    std::function<void()> DuringTheWait(std::function<void()> whileWaiting)
    {
        return [this, whileWaiting] {
            StandinReport report;
            bool started = WaitForStandinReport(report_.path(), 10000, report);
            whileWaiting();
            unique_handle browser(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, started ? report.pid : 0));
            if (browser) {
                TerminateProcess(browser.get(), 0);
                WaitForSingleObject(browser.get(), 5000);
            }
        };
    }

    // The ended browser left a pending launch with a timer.
    void ForgetLaunches()
    {
        for (const PendingLaunch& pending : g_tracker.pendingLaunches)
            KillTimer(mainWindow_, pending.timerId);
        g_tracker.pendingLaunches.clear();
        handedOff_.clear();
        firstLaunchEnded_ = false;
        DeleteFileA(report_.path().c_str());
    }

    TestFile report_ = TestFile::InTemp("queue-report");
    std::atomic<bool> firstLaunchEnded_{false};
};

// The shell's DDE start and a settings broadcast send to every top-level
// window and wait for the answer, as a second start's hand-off does. Any
// program may also send what ends an idle instance.
TEST_F(LaunchQueueTest, AMessageSentDuringTheWaitIsAnsweredAtOnce)
{
    static const struct {
        const char* name;
        bool inHandOff;
    } cases[] = {{"the first start's launch", false}, {"a hand-off's launch", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetLaunches();
        std::atomic<DWORD> answeredAfter(0xdeadbeef);
        TestThread sender(DuringTheWait([&] {
            DWORD start = GetTickCount();
            DWORD_PTR result = 0;
            if (SendMessageTimeoutA(mainWindow_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result))
                answeredAfter = GetTickCount() - start;
            // Then what would end an instance with nothing tracked: the
            // launch under way keeps it.
            const struct {
                UINT message;
                WPARAM wParam;
            } enders[] = {{WM_CLOSE, 0}, {WM_COMMAND, IDM_EXIT}, {WM_ENDSESSION, TRUE},
                          {ids_.createWindow, reinterpret_cast<WPARAM>(GetDesktopWindow())}};
            for (const auto& ender : enders)
                SendMessageTimeoutA(mainWindow_, ender.message, ender.wParam, 0, SMTO_NORMAL, 5000, &result);
        }));
        if (c.inHandOff) {
            std::atomic<bool> done(false);
            LRESULT answer = 0xdeadbeef;
            TestThread secondStart([&] {
                SetWindowTextA(mainWindow_, SlowBrowser().c_str());
                answer = SendMessageA(mainWindow_, ids_.runNewProgram, 0, 0);
                done = true;
            });
            EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 30000));
            secondStart.Join();
            EXPECT_EQ(1, answer);
        } else {
            LaunchInTurn(SlowBrowser());
        }
        sender.Join();
        EXPECT_LT(answeredAfter.load(), 1000u);
        EXPECT_EQ(std::vector<std::string>{SlowBrowser()}, handedOff_);
        EXPECT_EQ(0u, g_tracker.launchesUnderway);
        EXPECT_TRUE(SharedBlockExists());
        EXPECT_FALSE(DropQuitMessage());
    }
    ForgetLaunches();
}

// Each later start is answered while the first launch still waits, and its
// link is launched once that launch has ended, in the order they came.
TEST_F(LaunchQueueTest, HandOffsDuringALaunchRunAfterItInTheirOrder)
{
    const std::vector<std::string> links = {"http://a.example/1", "http://a.example/2", "http://a.example/3"};
    std::vector<DWORD> exitCodes;
    std::vector<bool> answeredDuringTheWait;
    TestThread starts(DuringTheWait([&] {
        for (const std::string& link : links) {
            unique_handle second(StartQuillet("-NOSPLASH " + link));
            WaitForSingleObject(second.get(), 5000);
            DWORD code = 0xdeadbeef;
            GetExitCodeProcess(second.get(), &code);
            exitCodes.push_back(code);
            answeredDuringTheWait.push_back(!firstLaunchEnded_);
            if (code == STILL_ACTIVE)
                TerminateProcess(second.get(), 1);
        }
    }));
    LaunchInTurn(SlowBrowser());
    starts.Join();

    EXPECT_EQ((std::vector<DWORD>{0, 0, 0}), exitCodes);
    EXPECT_EQ((std::vector<bool>{true, true, true}), answeredDuringTheWait);
    EXPECT_EQ((std::vector<std::string>{SlowBrowser(), links[0], links[1], links[2]}), handedOff_);
    EXPECT_EQ(0u, g_tracker.launchesUnderway);
    // The first link's browser ended without a window: its pending launch
    // keeps the instance.
    EXPECT_EQ(1u, g_tracker.pendingLaunches.size());
    EXPECT_TRUE(SharedBlockExists());
    ForgetLaunches();
}

}  // namespace
