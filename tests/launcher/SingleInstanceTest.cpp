// A second start of Quillet.exe while this process is the first instance.
#include "tests/launcher/MainWindowFixture.h"

#include "launcher/InstanceHandOff.h"
#include "security/SharedObjectDacl.h"
#include "tests/support/TestThread.h"

#include <aclapi.h>

#include <algorithm>

namespace {

// Another process that sends WINDOW the hand-off message, as a second start
// does, without a text of its own.
unique_handle StartHandOffSender(HWND window)
{
    char handle[16];
    wsprintfA(handle, "%lx", (unsigned long)(UINT_PTR)window);
    return unique_handle(StartProgram("\"" + TestModuleDirectory() + "HookTarget.exe\" send " + handle + " " +
                                          RUN_NEW_PROGRAM_MESSAGE_NAME,
                                      CREATE_NO_WINDOW));
}

TEST_F(FirstInstanceTest, PublishesItsWindowAndNoCbtHookYet)
{
    HookSharedBlock block = ReadSharedBlock();
    EXPECT_EQ(BlockValueOf(mainWindow_), block.mainWindow);
    EXPECT_EQ(0u, block.cbtHook);
    EXPECT_FALSE(IsWindowVisible(mainWindow_));
    EXPECT_EQ("Quillet test main window", MainWindowText());
    RECT frame;
    GetWindowRect(mainWindow_, &frame);
    EXPECT_EQ(4096, frame.left);

    // A start that lost the race for the block does not take it over.
    SharedBlockView late;
    EXPECT_FALSE(late.Create(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
    EXPECT_FALSE(late.IsMapped());
    EXPECT_EQ(BlockValueOf(mainWindow_), ReadSharedBlock().mainWindow);
}

TEST_F(FirstInstanceTest, SecondStartHandsItsCommandLineOverAndEnds)
{
    unique_handle second(StartQuillet("-NOSPLASH http://example.invalid/second?a=1"));
    ASSERT_TRUE(second);
    EXPECT_EQ(0u, WaitPumping(second.get()));

    EXPECT_EQ("http://example.invalid/second?a=1", MainWindowText());
    EXPECT_EQ(std::vector<std::string>{"http://example.invalid/second?a=1"}, handedOff_);
    std::vector<RecordedMessage> handOffs = Recorded({ids_.runNewProgram});
    ASSERT_EQ(1u, handOffs.size());
    EXPECT_EQ(0u, handOffs[0].wParam);
    EXPECT_EQ(0, handOffs[0].lParam);
    // WINE_GAP: Wine hands a call-window-return hook lResult 0 for a message
    // sent from another process (the sender itself gets 1: see the test
    // below); Windows passes the procedure's result.
    if (!RunningOnWine())
        EXPECT_EQ(1, handOffs[0].result);
    else
        EXPECT_EQ(0, handOffs[0].result);
    // The first instance stays the first instance.
    EXPECT_TRUE(IsWindow(mainWindow_));
    EXPECT_EQ(BlockValueOf(mainWindow_), ReadSharedBlock().mainWindow);
}

TEST_F(FirstInstanceTest, HandOffAnswersOneToAnotherProcess)
{
    unique_handle sender(StartHandOffSender(mainWindow_));
    ASSERT_TRUE(sender);
    EXPECT_EQ(1u, WaitPumping(sender.get()));
    // Without a new text the window's own text is launched.
    EXPECT_EQ(std::vector<std::string>{"Quillet test main window"}, handedOff_);
}

// A handed-over launch runs inside the other process's SendMessage; the
// closing check it ends with still ends an instance with nothing to watch.
class HandOffThatEndsTest : public FirstInstanceTest {
protected:
    void OnHandOff(const std::string& text) override
    {
        FirstInstanceTest::OnHandOff(text);
        ClosingCheck();
    }
};

TEST_F(HandOffThatEndsTest, TheClosingCheckInsideAHandOffShutsDown)
{
    unique_handle sender(StartHandOffSender(mainWindow_));
    ASSERT_TRUE(sender);
    EXPECT_EQ(1u, WaitPumping(sender.get()));
    EXPECT_EQ(1u, handedOff_.size());
    EXPECT_FALSE(SharedBlockExists()) << "the instance stayed resident";
    EXPECT_EQ(1u, Recorded({WM_DESTROY}).size());
}

// The first hand-off blocks like a launch flow waiting for a window; two
// more starts arrive meanwhile, and each text is launched exactly once.
class HandOffsWhileBusyTest : public FirstInstanceTest {
protected:
    void OnHandOff(const std::string& text) override
    {
        FirstInstanceTest::OnHandOff(text);
        if (handedOff_.size() == 1) {
            laterStarts_.emplace_back(StartQuillet("-NOSPLASH second.exe -b"));
            laterStarts_.emplace_back(StartQuillet("-NOSPLASH third.exe -c"));
            // Messages other threads send are handled meanwhile, as in any
            // wait that pumps them (a box of the launch flow): only the
            // hand-off's turn keeps the later texts out.
            DWORD start = GetTickCount();
            while (GetTickCount() - start < 1500) {
                MSG message;
                PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
            }
            textAfterWait_ = MainWindowText();
        }
    }
    std::vector<unique_handle> laterStarts_;
    std::string textAfterWait_;
};

TEST_F(HandOffsWhileBusyTest, EachLaunchReadsItsOwnCommandLine)
{
    unique_handle first(StartQuillet("-NOSPLASH first.exe -a"));
    ASSERT_TRUE(first);
    EXPECT_EQ(0u, WaitPumping(first.get()));
    ASSERT_EQ(2u, laterStarts_.size());
    for (const unique_handle& later : laterStarts_) {
        ASSERT_TRUE(later);
        EXPECT_EQ(0u, WaitPumping(later.get()));
    }
    // The later starts' texts waited for the first launch to return.
    EXPECT_EQ("first.exe -a", textAfterWait_);
    ASSERT_EQ(3u, handedOff_.size());
    EXPECT_EQ("first.exe -a", handedOff_[0]);
    std::vector<std::string> later(handedOff_.begin() + 1, handedOff_.end());
    std::sort(later.begin(), later.end());
    EXPECT_EQ((std::vector<std::string>{"second.exe -b", "third.exe -c"}), later);
}

// An instance whose shutdown has begun refuses the text; its block is
// still there until the shutdown is over. The start waits for it to go and
// becomes the first instance itself, so that it launches the text.
TEST_F(FirstInstanceTest, AStartThatAnEndingInstanceRefusesBecomesTheFirstInstance)
{
    EndInstance();
    ASSERT_TRUE(DropQuitMessage());
    SharedBlockView ending;
    ASSERT_TRUE(ending.Create(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
    SetReadOnlySharedMappingDacl(ending.Mapping());   // an instance's, owned by Administrators
    HookSharedBlock published = {BlockValueOf(mainWindow_), 0};
    ending.Write(&published, sizeof published);
    TestThread shutdownEnds([&ending] {
        Sleep(300);
        ending.Close();
    });

    recorded_.clear();
    bool first = StartSingleInstance(GetModuleHandleA(nullptr), "refused.exe");
    shutdownEnds.Join();
    HWND next = g_launcher.mainWindow;
    EXPECT_TRUE(first);
    EXPECT_TRUE(handedOff_.empty()) << "the ending instance launched it";
    std::vector<RecordedMessage> handOffs = Recorded({ids_.runNewProgram});
    ASSERT_FALSE(handOffs.empty());
    EXPECT_EQ(0, handOffs[0].result);
    EXPECT_NE(mainWindow_, next);
    EXPECT_EQ(BlockValueOf(next), ReadSharedBlock().mainWindow);
    // The new instance ends as any does.
    EndInstance();
    EXPECT_TRUE(DropQuitMessage());
    EXPECT_FALSE(SharedBlockExists());
    DestroyWindow(next);
}

// The names are fixed: another program (the protected browser among them)
// may make the shared block before any instance exists, to take the links
// handed to it. No start hands it a link or waits on it: the link opens
// protected and untracked.
TEST_F(FirstInstanceTest, ABlockOfAnotherProgramGetsNoLink)
{
    EndInstance();
    ASSERT_FALSE(SharedBlockExists());
    unique_handle squatter(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
    ASSERT_TRUE(squatter);
    // Owned by the user, as a restricted token's objects are.
    unique_handle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    BYTE user[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size));
    ASSERT_EQ((DWORD)ERROR_SUCCESS, SetSecurityInfo(squatter.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION,
                                                    reinterpret_cast<TOKEN_USER*>(user)->User.Sid, nullptr,
                                                    nullptr, nullptr));
    unique_view view(MapViewOfFile(squatter.get(), FILE_MAP_WRITE, 0, 0, sizeof(HookSharedBlock)));
    ASSERT_TRUE(view);
    HookSharedBlock published = {BlockValueOf(mainWindow_), 0};
    memcpy(view.get(), &published, sizeof published);

    static std::vector<std::string> untracked;
    untracked.clear();
    g_untrackedLaunch = [](const std::string& text) { untracked.push_back(text); };
    recorded_.clear();
    DWORD start = GetTickCount();
    EXPECT_TRUE(HandOffToRunningInstance("first.exe"));
    EXPECT_FALSE(StartSingleInstance(GetModuleHandleA(nullptr), "second.exe"));
    EXPECT_LT(GetTickCount() - start, 3000u) << "a start waited on the other program's objects";
    g_untrackedLaunch = RunUntrackedLaunch;
    EXPECT_EQ((std::vector<std::string>{"first.exe", "second.exe"}), untracked);
    EXPECT_TRUE(Recorded({ids_.runNewProgram}).empty());
    EXPECT_TRUE(handedOff_.empty());
}

}  // namespace
