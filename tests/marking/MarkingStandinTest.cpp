// Marking the windows of the stand-in browser started protected by the launch
// flow: another process's windows, reached only through messages.
#include "tests/marking/MarkingFixture.h"

#include "launcher/LaunchFlow.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestWindows.h"

namespace {

// The stand-in's own icons of resource 1 at the system's sizes.
struct StandinIcons {
    unique_hicon big, small;
    StandinIcons()
    {
        HICON first = nullptr, second = nullptr;
        ExtractIconExA(StandinBrowserPath().c_str(), 0, &first, &second, 1);
        big.reset(first);
        small.reset(second);
    }
};

// Writes the screen area of RECT as a 24-bit BMP file.
bool SaveScreenArea(const RECT& rect, const std::string& path)
{
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = (width * 3 + 3) & ~3u;
    std::string pixels((size_t)stride * height, '\0');
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    int rows = GetDIBits(memory, bitmap, 0, height, &pixels[0], (BITMAPINFO*)&header, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        return false;
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof file + sizeof header};
    file.bfSize = file.bfOffBits + (DWORD)pixels.size();
    std::string bytes((const char*)&file, sizeof file);
    bytes.append((const char*)&header, sizeof header);
    bytes += pixels;
    return WriteFileText(path, bytes);
}

// Pixels of the shield's green in the top rows of RECT on the screen: the
// stand-in's blue globe and the window frame have none.
int BadgeGreenInTitleBar(const RECT& rect)
{
    HDC screen = GetDC(nullptr);
    int green = 0;
    const int titleHeight = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
    for (int y = rect.top; y < rect.top + titleHeight; ++y) {
        for (int x = rect.left; x < rect.left + 40 && x < rect.right; ++x) {
            COLORREF color = GetPixel(screen, x, y);
            if (GetGValue(color) > 90 && GetGValue(color) > 2 * GetRValue(color) &&
                GetGValue(color) > 2 * GetBValue(color))
                ++green;
        }
    }
    ReleaseDC(nullptr, screen);
    return green;
}

}  // namespace

class MarkingStandin : public MarkingFixture {
protected:
    void SetUp() override
    {
        MarkingFixture::SetUp();
        savedMainWindow_ = g_launcher.mainWindow;
        lstrcpynA(savedCaption_, g_launcher.productCaption, sizeof savedCaption_);
        // The tracker's closing check and the hook reports go to this window.
        g_launcher.mainWindow = CreateTestWindow("marking test main window");
        ShowWindow(g_launcher.mainWindow, SW_HIDE);
        lstrcpyA(g_launcher.productCaption, "Marking Test");
        savedWaitLimit_ = g_firstWindowWaitLimit;
        g_firstWindowWaitLimit = 20000;
    }

    void TearDown() override
    {
        for (HookId& entry : g_tracker.hookIds) {
            if (entry.hProcess)
                CloseHandle(entry.hProcess);
            if (entry.hThread)
                CloseHandle(entry.hThread);
            entry.hProcess = entry.hThread = nullptr;
        }
        UnhookAll();
        g_tracker = WindowTrackerState();
        StandinReport report;
        if (ReadStandinReport(report_.path(), report)) {
            unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, report.pid));
            if (process) {
                TerminateProcess(process.get(), 0);
                WaitForSingleObject(process.get(), 5000);
            }
        }
        g_firstWindowWaitLimit = savedWaitLimit_;
        lstrcpyA(g_launcher.productCaption, savedCaption_);
        MarkingFixture::TearDown();
        g_launcher.mainWindow = savedMainWindow_;
    }

    // Starts the stand-in protected with OPTIONS; its tracked window or 0.
    HWND LaunchProtected(const std::string& options)
    {
        RunLaunchFlow(StandinCommand(report_.path(), options, "http://news.example/"));
        if (!ReadStandinReport(report_.path(), report) || g_tracker.hookIds.size() != 1) {
            ADD_FAILURE() << "report " << report_.path() << (report_.Exists() ? " written" : " missing") << ", "
                          << g_tracker.hookIds.size() << " windows tracked";
            for (const std::string& record : LogRecords())
                ADD_FAILURE() << "log: " << record;
            return nullptr;
        }
        return g_tracker.hookIds[0].hWnd;
    }

    StandinReport report;
    TestFile report_ = TestFile::InTemp("marking-standin-report");

private:
    HWND savedMainWindow_ = nullptr;
    char savedCaption_[100] = {};
    DWORD savedWaitLimit_ = 0;
};

// The window's icons as this process sees them. WINE_GAP: Wine 8 answers
// WM_GETICON from another process with 0 even while the window holds icons,
// so marking there finds no icons, composes from the executable's first icon
// and sets those; on Windows it reads back the compositions it set.
void ExpectWindowShows(HWND window, HICON big, HICON small)
{
    if (RunningOnWine()) {
        EXPECT_EQ(nullptr, QueryWindowIcon(window, ICON_BIG));
        EXPECT_EQ(nullptr, QueryWindowIcon(window, ICON_SMALL));
        return;
    }
    EXPECT_EQ(big, QueryWindowIcon(window, ICON_BIG));
    EXPECT_EQ(small, QueryWindowIcon(window, ICON_SMALL));
}

TEST_F(MarkingStandin, ProtectedBrowserGetsBothIconsReplacedAndKeepsItsCaption)
{
    HWND window = LaunchProtected("--stay=20000");
    ASSERT_TRUE(window);
    EXPECT_TRUE(report.AdministratorsDenyOnly());

    HICON big = g_tracker.bigIcons[0], small = g_tracker.smallIcons[0];
    ASSERT_TRUE(big && small);
    EXPECT_NE(big, small);
    ExpectWindowShows(window, big, small);
    // The stand-in sets the icons of its resource 1, which is also the first
    // icon of its executable: either road composes the badge over them.
    StandinIcons own;
    ASSERT_TRUE(own.big && own.small);
    EXPECT_EQ(0, BadgeMismatches(big, own.big.get(), g_launcher.overlayBigIcon));
    EXPECT_EQ(0, BadgeMismatches(small, own.small.get(), g_launcher.overlaySmallIcon));
    EXPECT_EQ("http://news.example/ - Stand-in Browser", WindowCaption(window));

    // The title bar in the virtual desktop, with the composed small icon.
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    WaitUntil(500, [] { return false; });
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    const std::string shot = TestModuleDirectory() + "marked-standin-window.bmp";
    EXPECT_TRUE(SaveScreenArea(rect, shot)) << shot;
    if (RunningOnWine()) {
        // WINE_GAP: Wine 8 cannot draw an icon of another process, so the
        // browser's title bar keeps showing its own icon.
        EXPECT_EQ(0, BadgeGreenInTitleBar(rect));
    } else {
        EXPECT_GT(BadgeGreenInTitleBar(rect), 3);
    }
}

// The same icons on a window of this process, which Wine draws: the title bar
// shows the badge over the browser's globe.
TEST_F(MarkingStandin, MarkedTitleBarShowsTheBadge)
{
    StandinIcons own;
    ASSERT_TRUE(own.big && own.small);
    HWND window = CreateTestWindow("http://news.example/ - Stand-in Browser");
    ASSERT_TRUE(window);
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)own.big.get());
    SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)own.small.get());
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    WaitUntil(300, [] { return false; });
    EXPECT_EQ(0, BadgeGreenInTitleBar(rect)) << "the unmarked globe has no green";

    MarkIcons(window, Track(window));
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    WaitUntil(300, [] { return false; });
    const std::string shot = TestModuleDirectory() + "marked-window.bmp";
    EXPECT_TRUE(SaveScreenArea(rect, shot)) << shot;
    EXPECT_GT(BadgeGreenInTitleBar(rect), 3);
}

TEST_F(MarkingStandin, IconTheBrowserSetsLaterIsMarkedAgain)
{
    HWND window = LaunchProtected("--stay=20000 --reicon=300");
    ASSERT_TRUE(window);
    HICON firstBig = g_tracker.bigIcons[0], firstSmall = g_tracker.smallIcons[0];
    ASSERT_TRUE(firstBig && firstSmall);

    // The browser's own change; its hook report runs this handler.
    WaitUntil(800, [] { return false; });
    OnIconEvent(window);

    HICON markedBig = g_tracker.bigIcons[0], markedSmall = g_tracker.smallIcons[0];
    ASSERT_TRUE(markedBig && markedSmall);
    EXPECT_NE(firstBig, markedBig);
    EXPECT_NE(firstSmall, markedSmall);
    ExpectWindowShows(window, markedBig, markedSmall);
    ICONINFO info;
    EXPECT_FALSE(GetIconInfo(firstBig, &info)) << "the replaced composition is destroyed";
    EXPECT_FALSE(GetIconInfo(firstSmall, &info));
}

TEST_F(MarkingStandin, BrowserWithOnlyClassIconsGetsItsExecutablesIconMarked)
{
    HWND window = LaunchProtected("--stay=20000 --classicons");
    ASSERT_TRUE(window);
    HICON big = g_tracker.bigIcons[0], small = g_tracker.smallIcons[0];
    ASSERT_TRUE(big && small);
    ExpectWindowShows(window, big, small);
    StandinIcons own;
    EXPECT_EQ(0, BadgeMismatches(big, own.big.get(), g_launcher.overlayBigIcon));
    EXPECT_EQ(0, BadgeMismatches(small, own.small.get(), g_launcher.overlaySmallIcon));
}
