// Marking tests run against real windows of the test process (marking talks
// to windows only through messages) and against the tracker's real state.
// The fixture loads the overlay badge the way the entry does, binds the hook
// log to a file of its own and leaves the tracker, the launcher state, its
// windows and its files as it found them.
#pragma once

#include "common/UniqueHandle.h"
#include "marking/WindowMarking.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "tests/common/IconComposerPixels.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

class MarkingFixture : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = {g_launcher.instance, g_launcher.noCaption, g_launcher.overlayBigIcon,
                  g_launcher.overlaySmallIcon};
        ASSERT_TRUE(g_tracker.hookIds.empty()) << "another test left windows tracked";
        g_launcher.instance = GetModuleHandleA(nullptr);
        overlayBig_.reset(LoadOverlay(SM_CXICON, SM_CYICON));
        overlaySmall_.reset(LoadOverlay(SM_CXSMICON, SM_CYSMICON));
        ASSERT_TRUE(overlayBig_ && overlaySmall_);
        g_launcher.overlayBigIcon = overlayBig_.get();
        g_launcher.overlaySmallIcon = overlaySmall_.get();
        hookLog.SetFile(log_.path().c_str());
        RegisterTestClass();
    }

    void TearDown() override
    {
        // Windows first: they still show the tracker's icons.
        for (HWND window : windows_)
            DestroyWindow(window);
        std::set<HICON> composed(g_tracker.bigIcons.begin(), g_tracker.bigIcons.end());
        composed.insert(g_tracker.smallIcons.begin(), g_tracker.smallIcons.end());
        for (HICON icon : composed)
            if (icon)
                DestroyIcon(icon);
        g_tracker.hookIds.clear();
        g_tracker.bigIcons.clear();
        g_tracker.smallIcons.clear();
        hookLog.SetFile("");
        g_launcher.instance = saved_.instance;
        g_launcher.noCaption = saved_.noCaption;
        g_launcher.overlayBigIcon = saved_.overlayBig;
        g_launcher.overlaySmallIcon = saved_.overlaySmall;
    }

    static HICON LoadOverlay(int widthMetric, int heightMetric)
    {
        return (HICON)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_OVERLAY), IMAGE_ICON,
                                 GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR);
    }

    // A visible top-level window of this thread, destroyed by the fixture.
    HWND CreateTestWindow(const char* caption)
    {
        HWND window = CreateWindowExA(0, kClassName, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window)
            windows_.push_back(window);
        return window;
    }

    // A "News" window showing BIG and SMALL (either may be 0) as its icons.
    HWND CreateWindowWithIcons(HICON big, HICON small)
    {
        HWND window = CreateTestWindow("News");
        if (window && big)
            SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)big);
        if (window && small)
            SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)small);
        return window;
    }

    // Tracks WINDOW the way the tracker does: an entry and two empty icon slots.
    static size_t Track(HWND window)
    {
        g_tracker.hookIds.push_back(HookId{window, nullptr, nullptr, nullptr});
        g_tracker.bigIcons.push_back(nullptr);
        g_tracker.smallIcons.push_back(nullptr);
        return g_tracker.hookIds.size() - 1;
    }

    static HICON WindowIcon(HWND window, WPARAM type)
    {
        return (HICON)SendMessageA(window, WM_GETICON, type, 0);
    }

    // The hook log's records, each without its carriage return.
    std::vector<std::string> LogRecords() const
    {
        std::string text;
        std::vector<std::string> records;
        if (!ReadFileText(log_.path(), text))
            return records;
        size_t start = 0;
        for (size_t end; (end = text.find('\r', start)) != std::string::npos; start = end + 1)
            records.push_back(text.substr(start, end - start));
        return records;
    }

    static std::string BeginRecord(HWND window, size_t index)
    {
        char record[100];
        wsprintfA(record, "MODIFY ICON BEGIN\t\tHWND(0x%.08X) \t\tNum(%d)", (unsigned)(UINT_PTR)window, (int)index);
        return record;
    }

    // Pixels of COMPOSED that differ from OVERLAY where the overlay is fully
    // opaque, or from BASE where the overlay is fully transparent and the
    // base fully opaque or fully transparent. (The image lists draw through
    // masks: a soft base edge comes out as its colour over black.)
    static int BadgeMismatches(HICON composed, HICON base, HICON overlay)
    {
        IconImage result, baseImage, overlayImage;
        if (!ReadIconImage(composed, &result) || !ReadIconImage(base, &baseImage) ||
            !ReadIconImage(overlay, &overlayImage) || result.width != baseImage.width ||
            overlayImage.width != result.width)
            return -1;
        int mismatches = 0;
        for (int y = 0; y < result.height; ++y) {
            for (int x = 0; x < result.width; ++x) {
                BYTE alpha = overlayImage.Alpha(x, y);
                if (alpha == 255 && result.Rgb(x, y) != overlayImage.Rgb(x, y))
                    ++mismatches;
                BYTE baseAlpha = baseImage.Alpha(x, y);
                if (alpha == 0 && baseAlpha == 255 && result.Color(x, y) != baseImage.Color(x, y))
                    ++mismatches;
                if (alpha == 0 && baseAlpha == 0 && result.Alpha(x, y) != 0)
                    ++mismatches;
            }
        }
        return mismatches;
    }

    static const char* const kClassName;

private:
    static void RegisterTestClass()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);  // fails harmlessly once it exists
    }

    struct Saved {
        HINSTANCE instance;
        DWORD noCaption;
        HICON overlayBig;
        HICON overlaySmall;
    } saved_ = {};
    unique_hicon overlayBig_, overlaySmall_;
    TestFile log_ = TestFile::InTemp("marking-hook-log");
    std::vector<HWND> windows_;
};

inline const char* const MarkingFixture::kClassName = "QuilletMarkingTestWindow";

// An opaque 32-bit alpha icon of one colour.
inline HICON MakeSolidIcon(int size, DWORD rgb)
{
    return MakeTestIcon(
        size, size, [=](int, int) { return 0xFF000000 | rgb; }, [](int, int) { return false; });
}
