// A second start of Quillet.exe while this process is the first instance.
#include "tests/launcher/MainWindowFixture.h"

namespace {

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
    HANDLE second = StartQuillet("-NOSPLASH http://example.invalid/second?a=1");
    ASSERT_TRUE(second);
    EXPECT_EQ(0u, WaitPumping(second));
    CloseHandle(second);

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
    char window[16];
    wsprintfA(window, "%lx", (unsigned long)(UINT_PTR)mainWindow_);
    std::string commandLine = "\"" + TestModuleDirectory() + "HookTarget.exe\" send " + window + " " +
                              RUN_NEW_PROGRAM_MESSAGE_NAME;
    HANDLE sender = StartProgram(commandLine, CREATE_NO_WINDOW);
    ASSERT_TRUE(sender);
    EXPECT_EQ(1u, WaitPumping(sender));
    CloseHandle(sender);
    // Without a new text the window's own text is launched.
    EXPECT_EQ(std::vector<std::string>{"Quillet test main window"}, handedOff_);
}

// The first hand-off blocks like a launch flow waiting for a window; the
// second start arrives meanwhile.
class TwoHandOffsTest : public FirstInstanceTest {
protected:
    void OnHandOff(const std::string& text) override
    {
        FirstInstanceTest::OnHandOff(text);
        if (handedOff_.size() == 1) {
            secondStart_ = StartQuillet("-NOSPLASH second.exe -b");
            Sleep(1500);   // no message is handled meanwhile
            textAfterWait_ = MainWindowText();
        }
    }
    HANDLE secondStart_ = nullptr;
    std::string textAfterWait_;
};

TEST_F(TwoHandOffsTest, EachLaunchReadsItsOwnCommandLine)
{
    HANDLE first = StartQuillet("-NOSPLASH first.exe -a");
    ASSERT_TRUE(first);
    EXPECT_EQ(0u, WaitPumping(first));
    ASSERT_TRUE(secondStart_);
    EXPECT_EQ(0u, WaitPumping(secondStart_));
    CloseHandle(first);
    CloseHandle(secondStart_);
    // The second start's text waited for the first launch to return.
    EXPECT_EQ("first.exe -a", textAfterWait_);
    EXPECT_EQ((std::vector<std::string>{"first.exe -a", "second.exe -b"}), handedOff_);
    EXPECT_EQ("second.exe -b", MainWindowText());
}

}  // namespace
