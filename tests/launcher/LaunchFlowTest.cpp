#include "launcher/LaunchFlow.h"

#include <windows.h>
#include <gtest/gtest.h>

TEST(ExtractBrowserArguments, TakesWhatFollowsTheBrowserPath)
{
    const struct { const char* text; const char* expected; } cases[] = {
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome", "-nohome"},
        {"\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\"   http://a.example/", "http://a.example/"},
        {"C:\\PROGRA~1\\INTERN~1\\iexplore.exe -nohome", "-nohome"},
        {"C:\\PROGRA~1\\INTERN~1\\IExplore.Exe\t\"C:\\x y.htm\"", "\"C:\\x y.htm\""},
        {"http://a.example/", "http://a.example/"},
        {"   http://a.example/", "http://a.example/"},
        {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\"", ""},
        {"iexplore.exe", ""},
        {"iexplore.ex", "iexplore.ex"},
        {"", ""},
        {"    ", ""},
        // A quoted path wins over an earlier bare name.
        {"iexplore.exe x \"iexplore.exe\" y", "y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.expected, ExtractBrowserArguments(c.text));
    }
}

TEST(ExtractBrowserArguments, LongestCommandLineStaysInBounds)
{
    std::string text = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" " + std::string(32700, 'u');
    EXPECT_EQ(std::string(32700, 'u'), ExtractBrowserArguments(text));
    std::string tail(32767 - 12, ' ');
    EXPECT_EQ("", ExtractBrowserArguments(tail + "IEXPLORE.EXE"));
}

namespace {

HWND MakeWindow(DWORD style, HWND parent = nullptr)
{
    return CreateWindowExA(0, "STATIC", "first window test", style, 10, 10, 100, 60, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

} // namespace

TEST(FindFirstWindow, TakesOnlyVisibleCaptionedTopLevelWindows)
{
    HWND parent = MakeWindow(WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(parent);
    const struct { const char* name; DWORD style; bool parented; BOOL goOn; } cases[] = {
        {"captioned and visible", WS_OVERLAPPEDWINDOW | WS_VISIBLE, false, FALSE},
        {"caption bar only", WS_POPUP | WS_CAPTION | WS_VISIBLE, false, FALSE},
        {"splash screen without caption", WS_POPUP | WS_VISIBLE, false, TRUE},
        {"border without the dialog frame", WS_POPUP | WS_BORDER | WS_VISIBLE, false, TRUE},
        {"hidden", WS_OVERLAPPEDWINDOW, false, TRUE},
        {"child", WS_CHILD | WS_CAPTION | WS_VISIBLE, true, TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = MakeWindow(c.style, c.parented ? parent : nullptr);
        ASSERT_TRUE(window);
        g_firstWindow = reinterpret_cast<HWND>(0xdeadbeef);
        EXPECT_EQ(c.goOn, FindFirstWindow(window, 0));
        EXPECT_EQ(c.goOn ? reinterpret_cast<HWND>(0xdeadbeef) : window, g_firstWindow);
        DestroyWindow(window);

        // A window that has gone is passed over.
        g_firstWindow = nullptr;
        EXPECT_TRUE(FindFirstWindow(window, 0));
        EXPECT_EQ(nullptr, g_firstWindow);
    }
    DestroyWindow(parent);
}

TEST(FindFirstWindow, EnumerationStopsAtTheCaptionedWindow)
{
    HWND splash = MakeWindow(WS_POPUP | WS_VISIBLE);
    HWND hidden = MakeWindow(WS_OVERLAPPEDWINDOW);
    HWND main = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(splash && hidden && main);
    g_firstWindow = nullptr;
    EXPECT_FALSE(EnumThreadWindows(GetCurrentThreadId(), FindFirstWindow, 0));
    EXPECT_EQ(main, g_firstWindow);

    DestroyWindow(main);
    g_firstWindow = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindFirstWindow, 0);
    EXPECT_EQ(nullptr, g_firstWindow);
    DestroyWindow(hidden);
    DestroyWindow(splash);
}
