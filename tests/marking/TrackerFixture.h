// The window tracker's tests: a window that counts its WM_DESTROY in the
// role of the main window, the hook log bound to a file of the test's own,
// and the tracker's state emptied again (hooks removed, timers killed) after
// every test.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "tests/support/MessageCounter.h"
#include "tests/support/TestPaths.h"
#include "tests/windowhooks/HookTestSupport.h"

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

    // The main window's part: the tracker ends the instance by destroying it.
    MessageCounter recorder_{WM_DESTROY};
    HWND savedMainWindow_ = nullptr;
    std::string logPath_;
};
