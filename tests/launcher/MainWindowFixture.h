// This test process as Quillet's first instance: its own main window class,
// the shared block published, hand-offs recorded instead of launched, and
// the messages of the main window recorded (message, wParam, lParam, result)
// by a call-window-return hook on this thread.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "common/UniqueHandle.h"
#include "launcher/LaunchFlow.h"
#include "launcher/LaunchQueue.h"
#include "launcher/MainWindow.h"
#include "marking/InstanceEnd.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "tests/support/RecordedMessage.h"
#include "tests/support/TestPaths.h"
#include "tests/windowhooks/HookTestSupport.h"

class FirstInstanceTest : public testing::Test {
protected:
    void SetUp() override
    {
        Self() = this;
        lstrcpyA(g_launcher.windowClassName, "QuilletTestMainWindow");
        lstrcpyA(g_launcher.windowTitle, "Quillet test main window");
        lstrcpyA(g_launcher.productCaption, "Quillet Test");
        RegisterMainWindowClass(GetModuleHandleA(nullptr));
        g_handOffLaunch = RecordHandOff;
        g_tracker = WindowTrackerState();
        hook_.reset(SetWindowsHookExA(WH_CALLWNDPROCRET, Record, nullptr, GetCurrentThreadId()));
        ASSERT_TRUE(StartSingleInstance(GetModuleHandleA(nullptr), "first command line"))
            << "is another first instance running?";
        mainWindow_ = g_launcher.mainWindow;
        ASSERT_TRUE(IsWindow(mainWindow_));
    }

    void TearDown() override
    {
        hook_.reset();
        // Only the instance's own decision runs the shutdown.
        if (IsWindow(mainWindow_) && g_launcher.mainWindow == mainWindow_)
            EndInstance();
        if (IsWindow(mainWindow_))
            DestroyWindow(mainWindow_);
        DropQuitMessage();
        g_handOffLaunch = RunLaunchFlow;
        g_launcher.mainWindow = nullptr;
        g_tracker = WindowTrackerState();
        Self() = nullptr;
    }

    // True when the shutdown's WM_QUIT is waiting in this thread's queue
    // (and takes it out, so that the test's own pumps go on).
    static bool DropQuitMessage()
    {
        MSG message;
        return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    }

    static bool SharedBlockExists()
    {
        SharedBlockView view;
        return view.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME);
    }

    static HookSharedBlock ReadSharedBlock()
    {
        HookSharedBlock block = {0xdeadbeef, 0xdeadbeef};
        SharedBlockView view;
        if (view.OpenReadOnly(sizeof block, HOOK_SHARED_BLOCK_NAME))
            view.Read(&block, sizeof block);
        return block;
    }

    std::string MainWindowText() const
    {
        char text[1024] = "";
        GetWindowTextA(mainWindow_, text, sizeof text);
        return text;
    }

    // The recorded messages among MESSAGES, in the order they returned.
    std::vector<RecordedMessage> Recorded(const std::vector<UINT>& messages) const
    {
        std::vector<RecordedMessage> chosen;
        for (const RecordedMessage& m : recorded_)
            for (UINT wanted : messages)
                if (m.message == wanted)
                    chosen.push_back(m);
        return chosen;
    }

    // Starts Quillet.exe with ARGUMENTS; the process handle, or null.
    static HANDLE StartQuillet(const std::string& arguments)
    {
        return StartProgram("\"" + BuiltBinary("Quillet.exe") + "\" " + arguments);
    }

    static DWORD WaitPumping(HANDLE process, DWORD timeout = 20000)
    {
        PumpUntil([process] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, timeout);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process, &code);
        return code;
    }

    static FirstInstanceTest*& Self()
    {
        static FirstInstanceTest* self = nullptr;
        return self;
    }

    // Called for every hand-off in place of the launch flow.
    virtual void OnHandOff(const std::string& text) { handedOff_.push_back(text); }

    HWND mainWindow_ = nullptr;
    HookMessageIds ids_ = RegisterHookMessages();
    std::vector<std::string> handedOff_;
    std::vector<RecordedMessage> recorded_;

private:
    static void RecordHandOff(const std::string& text) { Self()->OnHandOff(text); }

    static LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam)
    {
        auto call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code >= 0 && Self() && call->hwnd == Self()->mainWindow_)
            Self()->recorded_.push_back({call->hwnd, call->message, call->wParam, call->lParam, call->lResult});
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    unique_hhook hook_;
};
