// The window tracker with real windows: HookTarget.exe's windows in another
// process, hooked through Spirel, and the recorder in the role of the main
// window that the tracker ends when nothing is left to watch.
#include "tests/marking/TrackerFixture.h"

#include "marking/SpirelBinding.h"

namespace {

TEST(TrackerIgnoredClasses, SubstringsMatchCaseSensitively)
{
    struct Case {
        const char* className;
        bool ignored;
    } cases[] = {
        {"IEHelper Object", true},
        {"EWHAcrobatSessionWindow", true},
        {"EWHAcrobatSenderWindow", true},
        {"NewBrowserSink", true},
        {"atlcommon_timer", true},
        {"FilterGraphWindow", true},
        {"ActiveMovie VideoRenderer Window", true},
        {"videorenderer", false},
        {"VIDEORENDERER", false},
        {"IEFrame", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        EXPECT_EQ(c.ignored, IsIgnoredWindowClass(c.className));
    }
}

TEST_F(TrackerTest, AddsOnlyUnownedTopLevelWindowsOfTrackedProcesses)
{
    HookTarget browser({"overlapped", "owned", "child", "overlapped"});
    HookTarget stranger({"overlapped"});
    ASSERT_TRUE(browser.Started());
    ASSERT_TRUE(stranger.Started());
    HANDLE process = DuplicateOf(browser.Process());
    HANDLE thread = DuplicateOf(browser.Process());
    HWND first = browser.Window(0), owned = browser.Window(1), child = browser.Window(2),
         second = browser.Window(3);

    TrackLaunchedWindow(first, process, thread);
    ASSERT_EQ(1u, g_tracker.hookIds.size());
    EXPECT_EQ(first, g_tracker.hookIds[0].hWnd);
    EXPECT_NE(nullptr, g_tracker.hookIds[0].hHook);
    EXPECT_EQ(process, g_tracker.hookIds[0].hProcess);
    EXPECT_NE(nullptr, g_tracker.gHookCBT);

    OnNewWindow(owned);
    OnNewWindow(child);
    OnNewWindow(stranger.Window(0));
    OnNewWindow(first);
    EXPECT_EQ(1u, g_tracker.hookIds.size());
    OnNewWindow(second);
    ASSERT_EQ(2u, g_tracker.hookIds.size());
    EXPECT_EQ(second, g_tracker.hookIds[1].hWnd);
    EXPECT_EQ(nullptr, g_tracker.hookIds[1].hProcess);
    EXPECT_EQ(2u, g_tracker.bigIcons.size());
    EXPECT_EQ(2u, g_tracker.smallIcons.size());
    EXPECT_EQ(2, g_tracker.countHOOK);
    EXPECT_EQ(0, recorder_.Count());

    // The first window goes with its process's handles; the second one is
    // found dead by the check that follows.
    EXPECT_EQ(0u, browser.CloseAndWait());
    OnWindowDestroyed(first);
    EXPECT_TRUE(g_tracker.hookIds.empty());
    EXPECT_EQ(0, g_tracker.countHOOK);
    EXPECT_FALSE(IsOpenHandle(process));
    EXPECT_FALSE(IsOpenHandle(thread));
    EXPECT_EQ(1, recorder_.Count());

    EXPECT_TRUE(LogContainsInOrder({
        "HOOK NEW \t\tHWND(" + Hex(first) + ") \t\t\t\tcountHOOK(1)",
        "__HookTargetWindow __",
        "__HookTargetWindow __",
        "__HookTargetWindow __",
        "__HookTargetWindow __",
        "__HookTargetWindow __",
        "ADD HOOK \t\tHWND(" + Hex(second) + ") to \tHWND(" + Hex(first) + ") \tcountHOOK(2)",
        "REMOVE END PROGRAMM \tHWND(" + Hex(first) + ") \t\t\t\tcountHOOK(1)",
        // The hook went with the thread it watched.
        "UnHookWnd(hookId.hWnd, hookId.hHook, TRUE) -> BOOL rez = 0; ERROR rez = 1404",
        "REMOVE KILLED\t\tHWND(" + Hex(second) + ") \t\t\t\tcountHOOK(0)",
    }));
}

TEST_F(TrackerTest, RemovesThreeDeadWindowsInOnePass)
{
    HookTarget browser({"overlapped", "overlapped", "overlapped"});
    ASSERT_TRUE(browser.Started());
    TrackLaunchedWindow(browser.Window(0), nullptr, nullptr);
    OnNewWindow(browser.Window(1));
    OnNewWindow(browser.Window(2));
    ASSERT_EQ(3u, g_tracker.hookIds.size());

    TerminateProcess(browser.Process(), 1);
    WaitForSingleObject(browser.Process(), 5000);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(browser.Window(2)); }));
    RemoveDeadWindows();
    EXPECT_TRUE(g_tracker.hookIds.empty());
    EXPECT_TRUE(g_tracker.bigIcons.empty());
    EXPECT_TRUE(g_tracker.smallIcons.empty());
    EXPECT_EQ(0, g_tracker.countHOOK);
    EXPECT_EQ(1, recorder_.Count());
    EXPECT_TRUE(LogContainsInOrder({
        "REMOVE KILLED\t\tHWND(" + Hex(browser.Window(0)) + ") \t\t\t\tcountHOOK(2)",
        "",
        "REMOVE KILLED\t\tHWND(" + Hex(browser.Window(1)) + ") \t\t\t\tcountHOOK(1)",
        "",
        "REMOVE KILLED\t\tHWND(" + Hex(browser.Window(2)) + ") \t\t\t\tcountHOOK(0)",
    }));
}

TEST_F(TrackerTest, UnhookAllRemovesEveryHookAndEmptiesTheLists)
{
    HookTarget browser({"overlapped", "overlapped"});
    ASSERT_TRUE(browser.Started());
    TrackLaunchedWindow(browser.Window(0), nullptr, nullptr);
    OnNewWindow(browser.Window(1));
    ASSERT_EQ(2u, g_tracker.hookIds.size());
    HHOOK hooks[] = {g_tracker.hookIds[0].hHook, g_tracker.hookIds[1].hHook, g_tracker.gHookCBT};

    UnhookAll();
    EXPECT_TRUE(g_tracker.hookIds.empty());
    EXPECT_TRUE(g_tracker.bigIcons.empty());
    EXPECT_EQ(nullptr, g_tracker.gHookCBT);
    EXPECT_EQ(2, g_tracker.countHOOK);
    for (HHOOK hook : hooks) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(UnhookWindowsHookEx(hook)) << "still installed: " << hook;
    }
    EXPECT_EQ(0, recorder_.Count());
    EXPECT_TRUE(LogContainsInOrder({
        "UnHookWnd(hookId.hWnd, hookId.hHook) -> BOOL rez = 1; ERROR rez = 0",
        "UnHookWnd(hookId.hWnd, hookId.hHook) -> BOOL rez = 1; ERROR rez = 0",
        "UnHookWnd(NULL, gHookCBT) -> BOOL rez = 1; ERROR rez = 0",
    }));
    EXPECT_EQ(0u, browser.CloseAndWait());
}

TEST_F(TrackerTest, AWindowOfAnUntrackedProcessEndsAnIdleInstance)
{
    HookTarget stranger({"overlapped"});
    ASSERT_TRUE(stranger.Started());
    OnNewWindow(stranger.Window(0));
    EXPECT_TRUE(g_tracker.hookIds.empty());
    EXPECT_EQ(1, recorder_.Count());
    EXPECT_EQ(std::vector<std::string>{"__HookTargetWindow __"}, LogRecords());
}

TEST_F(TrackerTest, AFailedTrackCountsNothingAndClosesTheHandedOverHandles)
{
    HANDLE process = DuplicateOf(GetCurrentProcess());
    HANDLE thread = DuplicateOf(GetCurrentThread());
    // No window: the hook cannot be installed for a thread.
    TrackLaunchedWindow(reinterpret_cast<HWND>(0x7ffe0010), process, thread);
    EXPECT_TRUE(g_tracker.hookIds.empty());
    EXPECT_EQ(0, g_tracker.countHOOK);
    EXPECT_FALSE(IsOpenHandle(process));
    EXPECT_FALSE(IsOpenHandle(thread));
    EXPECT_EQ(1, recorder_.Count());
}

}  // namespace
