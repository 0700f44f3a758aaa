// The window tracker's tests: a recorder window in the role of the main
// window, the hook log bound to a file of the test's own, and the tracker's
// state emptied again (hooks removed, timers killed) after every test.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "tests/support/TestPaths.h"
#include "tests/windowhooks/HookTestSupport.h"

// A top-level window that counts the WM_DESTROY messages sent to it.
class DestroyRecorder {
public:
    DestroyRecorder()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TrackerDestroyRecorder";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, windowClass.lpszClassName, "recorder", WS_OVERLAPPEDWINDOW, 4096,
                                  0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
        Count() = 0;
    }
    ~DestroyRecorder()
    {
        SetPropA(window_, "closing", reinterpret_cast<HANDLE>(1));
        DestroyWindow(window_);
        RemovePropA(window_, "closing");
    }
    HWND Window() const { return window_; }
    static int& Count()
    {
        static int count = 0;
        return count;
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        // DestroyWindow at the end of the test sends one too; it is not counted.
        if (message == WM_DESTROY && !GetPropA(window, "closing")) {
            ++Count();
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND window_;
};

class TrackerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(recorder_.Window());
        savedMainWindow_ = g_launcher.mainWindow;
        g_launcher.mainWindow = recorder_.Window();
        lstrcpyA(g_launcher.productCaption, "Tracker Test");
        logPath_ = TempFilePath("hookwnd");
        DeleteFileA(logPath_.c_str());
        hookLog.SetFile(logPath_.c_str());
        g_tracker = WindowTrackerState();
    }

    void TearDown() override
    {
        for (const PendingLaunch& launch : g_tracker.pendingLaunches)
            KillTimer(recorder_.Window(), launch.timerId);
        g_tracker.pendingLaunches.clear();
        UnhookAll();
        g_tracker = WindowTrackerState();
        hookLog.SetFile("");
        DeleteFileA(logPath_.c_str());
        g_launcher.mainWindow = savedMainWindow_;
    }

    // The hook log's records, split at their carriage returns.
    std::vector<std::string> LogRecords() const
    {
        std::vector<std::string> records;
        std::string text = ReadWholeFile(logPath_);
        size_t start = 0;
        for (size_t end; (end = text.find('\r', start)) != std::string::npos; start = end + 1)
            records.push_back(text.substr(start, end - start));
        return records;
    }

    // True when EXPECTED occur in the log in this order (other records,
    // such as those of the icon marking, may come between them).
    ::testing::AssertionResult LogContainsInOrder(const std::vector<std::string>& expected) const
    {
        std::vector<std::string> records = LogRecords();
        size_t next = 0;
        for (const std::string& record : records)
            if (next < expected.size() && record == expected[next])
                ++next;
        if (next == expected.size())
            return ::testing::AssertionSuccess();
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "missing \"" << expected[next] << "\" in:";
        for (const std::string& record : records)
            failure << "\n  \"" << record << "\"";
        return failure;
    }

    static std::string Hex(const void* handle)
    {
        char text[16];
        wsprintfA(text, "0x%.08X", static_cast<UINT>(reinterpret_cast<UINT_PTR>(handle)));
        return text;
    }

    static HANDLE DuplicateOf(HANDLE handle)
    {
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        return copy;
    }

    static bool IsOpenHandle(HANDLE handle)
    {
        DWORD flags = 0;
        return GetHandleInformation(handle, &flags) != FALSE;
    }

    DestroyRecorder recorder_;
    HWND savedMainWindow_ = nullptr;
    std::string logPath_;
};
