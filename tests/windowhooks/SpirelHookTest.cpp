// Spirel's hook procedures at work in another process (HookTarget.exe), with
// this process in the role of Quillet: it publishes the shared block, holds
// the hooks and records what the hook procedures post to its window.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "tests/windowhooks/HookTestSupport.h"

namespace {

class SpirelHookTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(spirel_.Module());
        ASSERT_TRUE(receiver_.Window());
    }

    void TearDown() override
    {
        for (HHOOK hook : hooks_)
            UnhookWindowsHookEx(hook);
    }

    // The block as Quillet's first instance publishes it.
    void PublishBlock(HWND mainWindow, HHOOK cbtHook)
    {
        if (!block_.IsMapped()) {
            ASSERT_TRUE(block_.Create(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME))
                << "another first instance runs?";
        }
        HookSharedBlock content = {BlockValueOf(mainWindow), BlockValueOf(cbtHook)};
        block_.Write(&content, sizeof content);
    }

    HHOOK InstallCbtHook()
    {
        HHOOK hook = nullptr;
        auto hookCbt = spirel_.Export<HookCbtFunction>("HookCBT");
        auto procedure = spirel_.Export<HOOKPROC>("GetHookMessageCBT");
        EXPECT_EQ(1, hookCbt(nullptr, &hook, procedure));
        hooks_.push_back(hook);
        return hook;
    }

    HHOOK HookWindow(HWND window)
    {
        HHOOK hook = nullptr;
        EXPECT_EQ(1, spirel_.Export<HookWindowRetFunction>("HookWindowRet")(window, &hook, nullptr));
        hooks_.push_back(hook);
        return hook;
    }

    SpirelLibrary spirel_;
    ReportReceiver receiver_;
    SharedBlockView block_;
    std::vector<HHOOK> hooks_;
};

TEST_F(SpirelHookTest, CbtHookReportsOnlyCaptionedNonPopupWindowsWithSystemMenu)
{
    HHOOK cbtHook = InstallCbtHook();
    PublishBlock(receiver_.Window(), cbtHook);

    HookTarget target({"overlapped", "popup", "nosysmenu", "owned", "overlapped"});
    ASSERT_TRUE(target.Started());
    // Posted messages from one thread arrive in order: once the last window's
    // report is here, every report of the target is.
    EXPECT_TRUE(PumpUntil([&] {
        auto created = receiver_.CreatedWindowsOf(target.ProcessId());
        return !created.empty() && created.back() == target.Window(4);
    }));
    // The owned window is a WS_OVERLAPPEDWINDOW too: telling it apart is the
    // tracker's business, not the hook's.
    std::vector<HWND> expected = {target.Window(0), target.Window(3), target.Window(4)};
    EXPECT_EQ(expected, receiver_.CreatedWindowsOf(target.ProcessId()));
    EXPECT_EQ(0u, target.CloseAndWait());
}

TEST_F(SpirelHookTest, CallWindowReturnHookReportsCaptionIconAndDestroyEvents)
{
    PublishBlock(receiver_.Window(), nullptr);
    HookTarget target({"overlapped", "child"});
    ASSERT_TRUE(target.Started());
    HWND top = target.Window(0), child = target.Window(1);
    HookWindow(top);
    // The frame recalculation after installing is reported as a caption event.
    EXPECT_TRUE(PumpUntil([&] { return receiver_.HasEvent(WindowEventCaption, top); }));

    struct Step {
        const char* what;
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        WPARAM event;   // reported for WINDOW
    } steps[] = {
        {"WM_SETTEXT to the child", child, WM_SETTEXT, 0, (LPARAM) "renamed", WindowEventCaption},
        {"WM_SETICON", top, WM_APP, 0, 0, WindowEventIcon},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        receiver_.Reports().clear();
        SendMessageA(step.window, step.message, step.wParam, step.lParam);
        EXPECT_TRUE(PumpUntil([&] { return receiver_.HasEvent(step.event, step.window); }));
    }

    receiver_.Reports().clear();
    EXPECT_EQ(0u, target.CloseAndWait());
    PumpFor(200);
    EXPECT_TRUE(receiver_.HasEvent(WindowEventDestroyed, top));
    EXPECT_TRUE(receiver_.HasEvent(WindowEventDestroyed, child));
    for (const HookReport& report : receiver_.Reports()) {
        SCOPED_TRACE(testing::Message() << report);
        EXPECT_EQ(receiver_.Ids().windowEvent, report.message);
        EXPECT_LE(report.wParam, (WPARAM)WindowEventDestroyed);
    }
}

TEST_F(SpirelHookTest, EachHookOfAThreadReportsTheEventOnce)
{
    PublishBlock(receiver_.Window(), nullptr);
    HookTarget target({"overlapped", "overlapped"});
    ASSERT_TRUE(target.Started());
    HookWindow(target.Window(0));
    HookWindow(target.Window(1));
    PumpFor(200);
    receiver_.Reports().clear();
    SendMessageA(target.Window(1), WM_APP, 0, 0);   // sets its icon
    HookReport icon = {receiver_.Ids().windowEvent, WindowEventIcon, (LPARAM)target.Window(1)};
    EXPECT_TRUE(PumpUntil([&] { return std::count(receiver_.Reports().begin(), receiver_.Reports().end(), icon) >= 2; }));
    PumpFor(200);
    EXPECT_EQ(2, std::count(receiver_.Reports().begin(), receiver_.Reports().end(), icon));
    EXPECT_EQ(0u, target.CloseAndWait());
}

TEST_F(SpirelHookTest, WithoutAnInstanceNothingIsPostedAndTheProgramRunsOn)
{
    HookTarget target({"overlapped", "child"});
    ASSERT_TRUE(target.Started());
    HookWindow(target.Window(0));
    InstallCbtHook();
    HookTarget second({"overlapped"});
    ASSERT_TRUE(second.Started());
    SendMessageA(target.Window(1), WM_SETTEXT, 0, (LPARAM) "no block");
    SendMessageA(target.Window(0), WM_APP, 0, 0);
    PumpFor(300);
    EXPECT_TRUE(receiver_.Reports().empty());
    EXPECT_EQ(0u, second.CloseAndWait());
    EXPECT_EQ(0u, target.CloseAndWait());
}

TEST_F(SpirelHookTest, GarbageInTheBlockDoesNotHurtAHookedProgram)
{
    // Whatever another process leaves in the block, the hook procedures only
    // hand it to calls that check handles themselves.
    PublishBlock(reinterpret_cast<HWND>(0x7ffe1234), reinterpret_cast<HHOOK>(0x13572468));
    InstallCbtHook();
    HookTarget target({"overlapped", "child", "overlapped"});
    ASSERT_TRUE(target.Started());
    HookWindow(target.Window(0));
    SendMessageA(target.Window(1), WM_SETTEXT, 0, (LPARAM) "garbage");
    SendMessageA(target.Window(0), WM_APP, 0, 0);
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(target.Window(2), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    EXPECT_TRUE(receiver_.Reports().empty());
    EXPECT_EQ(0u, target.CloseAndWait());
}

}  // namespace

namespace {

// Makes the window being created the block's main window for the length of
// its creation, as Quillet's own main window is to the hook procedures.
SharedBlockView* g_blockToRewrite;
HHOOK g_rewriteHook;

LRESULT CALLBACK PublishCreatedAsMainWindow(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        HookSharedBlock content = {(DWORD)wParam, 0};
        g_blockToRewrite->Write(&content, sizeof content);
    }
    return CallNextHookEx(g_rewriteHook, code, wParam, lParam);
}

}  // namespace

TEST_F(SpirelHookTest, CbtHookDoesNotReportTheMainWindowItself)
{
    HHOOK cbtHook = InstallCbtHook();
    PublishBlock(receiver_.Window(), cbtHook);
    // Thread hooks run before desktop-wide ones: this one rewrites the block
    // before Spirel's procedure reads it.
    g_blockToRewrite = &block_;
    g_rewriteHook = SetWindowsHookExA(WH_CBT, PublishCreatedAsMainWindow, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(g_rewriteHook);
    {
        ReportReceiver mainWindow;
        UnhookWindowsHookEx(g_rewriteHook);
        PumpFor(200);
        EXPECT_TRUE(mainWindow.Reports().empty());
        EXPECT_TRUE(receiver_.CreatedWindowsOf(GetCurrentProcessId()).empty());
    }
    // The same creation with the block left alone is reported.
    PublishBlock(receiver_.Window(), cbtHook);
    ReportReceiver other;
    EXPECT_TRUE(PumpUntil([&] { return !receiver_.CreatedWindowsOf(GetCurrentProcessId()).empty(); }));
    EXPECT_EQ(std::vector<HWND>{other.Window()}, receiver_.CreatedWindowsOf(GetCurrentProcessId()));
}
