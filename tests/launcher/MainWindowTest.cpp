// The rows of the main window's procedure and the shutdown that every way
// of ending the instance runs through.
#include "tests/launcher/MainWindowFixture.h"

#include "launcher/FirstInstance.h"
#include "tests/support/TestThread.h"
#include "ui/resource.h"

#include <atomic>

namespace {

class MainWindowTest : public FirstInstanceTest {
protected:
    void SetUp() override
    {
        FirstInstanceTest::SetUp();
        logPath_ = TempFilePath("mainwindow-hookwnd");
        DeleteFileA(logPath_.c_str());
        hookLog.SetFile(logPath_.c_str());
    }
    void TearDown() override
    {
        hookLog.SetFile("");
        DeleteFileA(logPath_.c_str());
        FirstInstanceTest::TearDown();
    }

    // Dispatches until the queue is empty; true when WM_QUIT came by.
    static bool DispatchAndSeeQuit(DWORD milliseconds = 500)
    {
        bool quit = false;
        DWORD start = GetTickCount();
        do {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    quit = true;
                DispatchMessageA(&message);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        } while (!quit && GetTickCount() - start < milliseconds);
        return quit;
    }

    // The shutdown ran: hooks gone, tracker empty, block closed, WM_QUIT.
    void ExpectShutDown(const std::vector<HHOOK>& hooks, bool quitAlreadySeen = false)
    {
        for (HHOOK hook : hooks) {
            EXPECT_FALSE(UnhookWindowsHookEx(hook)) << "still installed: " << hook;
        }
        EXPECT_TRUE(g_tracker.hookIds.empty());
        EXPECT_EQ(nullptr, g_tracker.gHookCBT);
        EXPECT_FALSE(SharedBlockExists());
        if (!quitAlreadySeen) {
            EXPECT_TRUE(DropQuitMessage());
        }
    }

    std::string LogText() const { return ReadWholeFile(logPath_); }

    bool LogContainsUnhookRecords() const
    {
        std::string text = LogText();
        return text.find("UnHookWnd(hookId.hWnd, hookId.hHook) -> BOOL rez = 1; ERROR rez = 0\r") !=
                   std::string::npos &&
               text.find("UnHookWnd(NULL, gHookCBT) -> BOOL rez = 1; ERROR rez = 0\r") != std::string::npos;
    }

    std::string logPath_;
};

TEST_F(MainWindowTest, WindowEventsReachTheirHandlersAndTheLastDestroyEndsTheInstance)
{
    HookTarget browser({"overlapped"});
    ASSERT_TRUE(browser.Started());
    HWND window = browser.Window(0);
    TrackLaunchedWindow(window, nullptr, nullptr);
    ASSERT_EQ(1u, g_tracker.hookIds.size());
    std::vector<HHOOK> hooks = {g_tracker.hookIds[0].hHook, g_tracker.gHookCBT};
    // The CBT hook is published beside the main window.
    EXPECT_EQ(BlockValueOf(g_tracker.gHookCBT), ReadSharedBlock().cbtHook);
    EXPECT_EQ(BlockValueOf(mainWindow_), ReadSharedBlock().mainWindow);
    recorded_.clear();

    LPARAM reported = reinterpret_cast<LPARAM>(window);
    EXPECT_EQ(0, SendMessageA(mainWindow_, ids_.windowEvent, 3, reported));
    EXPECT_EQ(0, SendMessageA(mainWindow_, ids_.hookExit, 0, 0));
    EXPECT_EQ(0, SendMessageA(mainWindow_, ids_.windowEvent, WindowEventCaption, reported));
    EXPECT_EQ(0, SendMessageA(mainWindow_, ids_.windowEvent, WindowEventIcon, reported));
    EXPECT_EQ(1u, g_tracker.hookIds.size());
    EXPECT_EQ(0u, browser.CloseAndWait());
    EXPECT_EQ(0, SendMessageA(mainWindow_, ids_.windowEvent, WindowEventDestroyed, reported));

    std::vector<RecordedMessage> expected = {
        {mainWindow_, ids_.windowEvent, 3, reported, 0},
        {mainWindow_, ids_.hookExit, 0, 0, 0},
        {mainWindow_, ids_.windowEvent, WindowEventCaption, reported, 0},
        {mainWindow_, ids_.windowEvent, WindowEventIcon, reported, 0},
        {mainWindow_, WM_DESTROY, 0, 0, 0},   // sent by the closing check, nested
        {mainWindow_, ids_.windowEvent, WindowEventDestroyed, reported, 0},
    };
    EXPECT_EQ(expected, Recorded({ids_.windowEvent, ids_.hookExit, WM_DESTROY}));
    ExpectShutDown(hooks);
    // Only the messages ran: the window itself lives until the process ends.
    EXPECT_TRUE(IsWindow(mainWindow_));

    // The next start is a first instance again.
    ASSERT_TRUE(StartSingleInstance(GetModuleHandleA(nullptr), "next"));
    EXPECT_NE(mainWindow_, g_launcher.mainWindow);
    DestroyWindow(mainWindow_);
    mainWindow_ = g_launcher.mainWindow;
    EXPECT_EQ(BlockValueOf(mainWindow_), ReadSharedBlock().mainWindow);
}

// Exit and WM_CLOSE carry no sender: the protected browser can post them
// as well as anybody. While a window is tracked they end nothing.
TEST_F(MainWindowTest, ExitAndCloseEndNothingWhileAWindowIsTracked)
{
    HookTarget browser({"overlapped"});
    ASSERT_TRUE(browser.Started());
    TrackLaunchedWindow(browser.Window(0), nullptr, nullptr);
    ASSERT_EQ(1u, g_tracker.hookIds.size());
    static const struct {
        const char* name;
        UINT message;
        WPARAM wParam;
    } cases[] = {{"Exit command", WM_COMMAND, IDM_EXIT}, {"WM_CLOSE", WM_CLOSE, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PostMessageA(mainWindow_, c.message, c.wParam, 0);
        EXPECT_FALSE(DispatchAndSeeQuit());
        EXPECT_TRUE(IsWindow(mainWindow_));
        EXPECT_TRUE(SharedBlockExists());
        EXPECT_EQ(1u, g_tracker.hookIds.size());
    }
    EXPECT_NE(std::string::npos, LogText().find("EXIT REFUSED: 1 windows tracked\r")) << LogText();
    // Any process can send the log-off message too: the key stays locked
    // while the browser runs, for the next run's recovery.
    EXPECT_EQ(0, SendMessageA(mainWindow_, WM_ENDSESSION, TRUE, 0));
    EXPECT_NE(std::string::npos, LogText().find("KEY LOCK: session ends while tracked browsers run")) << LogText();
    EXPECT_TRUE(SharedBlockExists());
    EXPECT_EQ(0u, browser.CloseAndWait());
}

TEST_F(MainWindowTest, ExitCommandWithNothingTrackedEndsTheInstanceThroughTheSameShutdown)
{
    recorded_.clear();
    PostMessageA(mainWindow_, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_TRUE(DispatchAndSeeQuit());
    EXPECT_FALSE(IsWindow(mainWindow_));
    // The posted command itself is dispatched, not sent: the hook sees only
    // what DestroyWindow sends.
    std::vector<RecordedMessage> expected = {
        {mainWindow_, WM_DESTROY, 0, 0, 0},
        {mainWindow_, WM_NCDESTROY, 0, 0, 0},
    };
    EXPECT_EQ(expected, Recorded({WM_COMMAND, WM_DESTROY, WM_NCDESTROY}));
    ExpectShutDown({}, true);
}

// The system ends the process at log-off without WM_DESTROY: with no
// tracked browser running, the instance shuts down there (key given back).
TEST_F(MainWindowTest, LogOffWithNoTrackedBrowserRunningShutsDown)
{
    EXPECT_EQ(0, SendMessageA(mainWindow_, WM_ENDSESSION, FALSE, 0));   // the log-off was cancelled
    EXPECT_TRUE(SharedBlockExists());
    EXPECT_EQ(0, SendMessageA(mainWindow_, WM_ENDSESSION, TRUE, 0));
    ExpectShutDown({});
}

TEST_F(MainWindowTest, AnUntrackedNewWindowIsLoggedAndAnIdleInstanceEnds)
{
    HookTarget stranger({"overlapped"});
    ASSERT_TRUE(stranger.Started());
    PostMessageA(mainWindow_, ids_.createWindow, reinterpret_cast<WPARAM>(stranger.Window(0)),
                 stranger.ProcessId());
    EXPECT_TRUE(DispatchAndSeeQuit());
    ExpectShutDown({}, true);
    char expected[64];
    wsprintfA(expected, "__ NEW WND __ (0x%.08X)\r__HookTargetWindow __\r",
              (UINT)(UINT_PTR)stranger.Window(0));
    EXPECT_EQ(expected, LogText());
    EXPECT_EQ(0u, stranger.CloseAndWait());
}

// Any program on the desktop can post the hook's reports. A new window of
// another program reported with a tracked browser's process id is not
// tracked (nor hooked and badged); a destroy report for a tracked window that still exists ends
// nothing, and the window is looked at again: once its process is gone
// (killed, so that nothing reports it), the idle instance ends.
TEST_F(MainWindowTest, ForgedReportsNeitherBadgeNorEndAnything)
{
    HookTarget browser({"overlapped"});
    HookTarget stranger({"overlapped"});
    ASSERT_TRUE(browser.Started());
    ASSERT_TRUE(stranger.Started());
    HWND window = browser.Window(0), other = stranger.Window(0);
    TrackLaunchedWindow(window, nullptr, nullptr);
    ASSERT_EQ(1u, g_tracker.hookIds.size());
    std::vector<HHOOK> hooks = {g_tracker.hookIds[0].hHook, g_tracker.gHookCBT};

    PostMessageA(mainWindow_, ids_.createWindow, reinterpret_cast<WPARAM>(other), browser.ProcessId());
    PostMessageA(mainWindow_, ids_.windowEvent, WindowEventDestroyed, reinterpret_cast<LPARAM>(window));
    EXPECT_FALSE(DispatchAndSeeQuit(1000));
    ASSERT_EQ(1u, g_tracker.hookIds.size());
    EXPECT_EQ(window, g_tracker.hookIds[0].hWnd);
    EXPECT_TRUE(SharedBlockExists());

    TerminateProcess(browser.Process(), 1);
    WaitForSingleObject(browser.Process(), 5000);
    EXPECT_TRUE(DispatchAndSeeQuit(5000));
    ExpectShutDown(hooks, true);
    EXPECT_EQ(0u, stranger.CloseAndWait());
}

TEST_F(MainWindowTest, AnExpiringPendingLaunchWarnsAndEndsTheInstance)
{
    g_pendingLaunchPeriod = 50;
    AddPendingLaunch("C:\\gone\\browser.exe http://example.invalid/");
    g_pendingLaunchPeriod = 10000;
    DialogAnswerer answerer;
    EXPECT_TRUE(DispatchAndSeeQuit(5000));
    EXPECT_EQ(std::vector<std::string>{
                  "Quillet Test: Application C:\\gone\\browser.exe http://example.invalid/ cannot be run in safe mode."},
              DialogAnswerer::Seen());
    EXPECT_EQ(std::vector<HWND>{mainWindow_}, DialogAnswerer::Owners());
    EXPECT_TRUE(g_tracker.pendingLaunches.empty());
    ExpectShutDown({}, true);
}

// Only the instance's own shutdown unlocks the COM-server key: a WM_DESTROY
// from another thread or posted into the queue ends nothing.
TEST_F(MainWindowTest, AWmDestroyFromElsewhereEndsNothing)
{
    {
        SCOPED_TRACE("sent from another thread");
        LRESULT answer = 0xdeadbeef;
        std::atomic<bool> done(false);
        TestThread other([&] {
            answer = SendMessageA(mainWindow_, WM_DESTROY, 0, 0);
            done = true;
        });
        PumpUntil([&] { return done.load(); }, 5000);
        other.Join();
        EXPECT_EQ(0, answer);
        EXPECT_TRUE(SharedBlockExists());
        EXPECT_FALSE(DropQuitMessage());
    }
    {
        SCOPED_TRACE("posted");
        PostMessageA(mainWindow_, WM_DESTROY, 0, 0);
        PostQuitMessage(7);
        EXPECT_EQ(7, RunMessageLoop());
        EXPECT_TRUE(SharedBlockExists());
    }
    {
        // Any process can open a modal loop on demand (the About command),
        // and that loop dispatches what is queued for the main window.
        SCOPED_TRACE("posted while a box is open");
        DialogAnswerer answerer;
        PostMessageA(mainWindow_, WM_DESTROY, 0, 0);
        SendMessageA(mainWindow_, WM_COMMAND, IDM_ABOUT, 0);
        EXPECT_EQ(1u, DialogAnswerer::Owners().size());
        EXPECT_TRUE(SharedBlockExists());
        EXPECT_FALSE(DropQuitMessage());
    }
    EXPECT_TRUE(IsWindow(mainWindow_));
    {
        // WM_CLOSE destroys the window itself, and that ends the instance.
        SCOPED_TRACE("WM_CLOSE sent from another thread");
        std::atomic<bool> done(false);
        TestThread other([&] {
            SendMessageA(mainWindow_, WM_CLOSE, 0, 0);
            done = true;
        });
        PumpUntil([&] { return done.load(); }, 5000);
        other.Join();
        EXPECT_FALSE(IsWindow(mainWindow_));
        ExpectShutDown({}, true);   // the pump took WM_QUIT
    }
}

TEST_F(MainWindowTest, AboutCommandOpensTheAboutBoxOwnedByTheMainWindow)
{
    DialogAnswerer answerer;
    EXPECT_EQ(0, SendMessageA(mainWindow_, WM_COMMAND, IDM_ABOUT, 0));
    ASSERT_EQ(1u, DialogAnswerer::Owners().size());
    EXPECT_EQ(mainWindow_, DialogAnswerer::Owners()[0]);
    EXPECT_TRUE(SharedBlockExists());
    EXPECT_FALSE(DropQuitMessage());
}

}  // namespace
