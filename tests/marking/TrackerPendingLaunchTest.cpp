// Pending launches: their timers on the main window, the window that settles
// one, and the warning when one expires.
#include "tests/marking/TrackerFixture.h"

namespace {

TEST_F(TrackerTest, PendingTimerIdsCountUpAndWrapToOneAfter0xFFFFFFFE)
{
    struct Case {
        UINT next;
        UINT used;
        UINT after;
    } cases[] = {{1, 1, 2}, {2, 2, 3}, {3, 3, 4}, {0xFFFFFFFD, 0xFFFFFFFD, 0xFFFFFFFE}, {0xFFFFFFFE, 0xFFFFFFFE, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "next id " << c.next);
        g_tracker.nextTimerId = c.next;
        AddPendingLaunch("\"C:\\Program Files\\Browser\\browser.exe\" http://example.invalid/");
        ASSERT_FALSE(g_tracker.pendingLaunches.empty());
        EXPECT_EQ(c.used, g_tracker.pendingLaunches.back().timerId);
        EXPECT_EQ(c.after, g_tracker.nextTimerId);
    }
    // Each record has its own live timer on the main window.
    for (const PendingLaunch& launch : g_tracker.pendingLaunches)
        EXPECT_TRUE(KillTimer(recorder_.Window(), launch.timerId)) << launch.timerId;
    g_tracker.pendingLaunches.clear();
    EXPECT_TRUE(LogContainsInOrder(
        {"ADD NOT RUN ( \"C:\\Program Files\\Browser\\browser.exe\" http://example.invalid/ )", ""}));
}

TEST_F(TrackerTest, AWindowOfTheNamedProgramSettlesALongPendingLaunch)
{
    HookTarget browser({"overlapped", "overlapped"});
    ASSERT_TRUE(browser.Started());
    ASSERT_FALSE(browser.ProgramPath().empty());
    // The program's path comes after the first 775 characters of the text.
    std::string text = std::string(900, 'a') + " \"" + browser.ProgramPath() + "\" -nohome";
    AddPendingLaunch(text);
    AddPendingLaunch("C:\\elsewhere\\other.exe");
    ASSERT_EQ(2u, g_tracker.pendingLaunches.size());
    UINT settledTimer = g_tracker.pendingLaunches[0].timerId;

    TrackLaunchedWindow(browser.Window(0), nullptr, nullptr);
    EXPECT_EQ(2u, g_tracker.pendingLaunches.size());   // only windows joining a process settle
    OnNewWindow(browser.Window(1));
    ASSERT_EQ(1u, g_tracker.pendingLaunches.size());
    EXPECT_EQ("C:\\elsewhere\\other.exe", g_tracker.pendingLaunches[0].text);
    EXPECT_FALSE(KillTimer(recorder_.Window(), settledTimer));
    EXPECT_TRUE(LogContainsInOrder({"REMOVE NOT RUN \t( " + text + " )"}));
    EXPECT_EQ(0, recorder_.Count());
    EXPECT_EQ(0u, browser.CloseAndWait());
}

TEST_F(TrackerTest, AnExpiredLaunchIsReportedAndEndsAnIdleInstance)
{
    AddPendingLaunch("first.exe -a");
    AddPendingLaunch("second.exe -b");
    UINT first = g_tracker.pendingLaunches[0].timerId;
    {
        DialogAnswerer answerer;
        ExpirePendingLaunch(first);
        EXPECT_EQ(std::vector<std::string>{"Tracker Test: Application first.exe -a cannot be run in safe mode."},
                  DialogAnswerer::Seen());
    }
    ASSERT_EQ(1u, g_tracker.pendingLaunches.size());
    EXPECT_EQ("second.exe -b", g_tracker.pendingLaunches[0].text);
    EXPECT_FALSE(KillTimer(recorder_.Window(), first));
    EXPECT_EQ(0, recorder_.Count());

    // The last one expires through its timer, shortened for the test.
    g_tracker.pendingLaunches.clear();
    g_pendingLaunchPeriod = 50;
    AddPendingLaunch(std::string(1200, 'x'));
    g_pendingLaunchPeriod = 10000;
    DialogAnswerer answerer;
    MSG message = {};
    DWORD start = GetTickCount();
    while (!PeekMessageA(&message, recorder_.Window(), WM_TIMER, WM_TIMER, PM_REMOVE) &&
           GetTickCount() - start < 5000)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_TIMER);
    ASSERT_EQ(WM_TIMER, message.message);
    ExpirePendingLaunch(message.wParam);
    EXPECT_EQ(std::vector<std::string>{"Tracker Test: Application " + std::string(1200, 'x') +
                                       " cannot be run in safe mode."},
              DialogAnswerer::Seen());
    EXPECT_TRUE(g_tracker.pendingLaunches.empty());
    EXPECT_EQ(1, recorder_.Count());
    EXPECT_TRUE(LogContainsInOrder({"REMOVE NOT RUN ( first.exe -a )", "REMOVE NOT RUN ( " + std::string(1200, 'x') + " )"}));
}

}  // namespace
