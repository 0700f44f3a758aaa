#include "tests/marking/MarkingFixture.h"

namespace {

std::wstring WideCaption(HWND window)
{
    WCHAR text[512] = L"canary";
    int length = GetWindowTextW(window, text, 512);
    return std::wstring(text, length > 0 ? length : 0);
}

}  // namespace

using CaptionMarking = MarkingFixture;

TEST_F(CaptionMarking, MarkGoesInFrontOnceWhenTheSwitchAllowsIt)
{
    g_launcher.noCaption = 0;
    const struct {
        const char* before;
        const wchar_t* after;
    } cases[] = {
        {"News", L" ( SAFE ) News"},
        {"", L" ( SAFE ) "},
        {" ( SAFE ) News", L" ( SAFE ) News"},
        {"News ( SAFE ) ", L"News ( SAFE ) "},       // the mark anywhere counts
        {"News (SAFE)", L" ( SAFE ) News (SAFE)"},   // only the exact mark does
        {"News ( safe ) ", L" ( SAFE ) News ( safe ) "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        HWND window = CreateTestWindow(c.before);
        ASSERT_TRUE(window);
        MarkCaption(window);
        EXPECT_EQ(std::wstring(c.after), WideCaption(window));
        // The window's own report of the change marks it again: no second mark.
        MarkCaption(window);
        EXPECT_EQ(std::wstring(c.after), WideCaption(window));
    }
}

TEST_F(CaptionMarking, CaptionsStayAsTheyAreWithTheDefaultSwitch)
{
    ASSERT_NE(0u, LauncherState().noCaption) << "caption marking starts switched off";
    g_launcher.noCaption = LauncherState().noCaption;
    unique_hicon big(MakeSolidIcon(32, 0x000000FF));
    HWND window = CreateTestWindow("News");
    ASSERT_TRUE(window && big);
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)big.get());
    size_t index = Track(window);

    MarkCaption(window);
    OnCaptionEvent(window);
    MarkIcons(window, index);

    EXPECT_EQ(std::wstring(L"News"), WideCaption(window));
    EXPECT_NE(big.get(), (HICON)SendMessageA(window, WM_GETICON, ICON_BIG, 0)) << "icons are marked all the same";
}

TEST_F(CaptionMarking, CaptionEventsMarkOnlyTrackedLiveWindows)
{
    g_launcher.noCaption = 0;
    HWND tracked = CreateTestWindow("Tracked");
    HWND untracked = CreateTestWindow("Untracked");
    ASSERT_TRUE(tracked && untracked);
    Track(tracked);

    OnCaptionEvent(tracked);
    OnCaptionEvent(untracked);
    EXPECT_EQ(std::wstring(L" ( SAFE ) Tracked"), WideCaption(tracked));
    EXPECT_EQ(std::wstring(L"Untracked"), WideCaption(untracked));

    // The browser sets a caption of its own: its report marks it again.
    SetWindowTextA(tracked, "Changed");
    OnCaptionEvent(tracked);
    EXPECT_EQ(std::wstring(L" ( SAFE ) Changed"), WideCaption(tracked));

    ASSERT_TRUE(DestroyWindow(tracked));
    OnCaptionEvent(tracked);  // a report for a window that has gone
    MarkCaption(tracked);
}

// The mark and the caption are handled wide, so a caption the ANSI code page
// cannot hold keeps every character.
TEST_F(CaptionMarking, CaptionOutsideTheCodePageKeepsItsCharacters)
{
    g_launcher.noCaption = 0;
    const wchar_t kGreek[] = L"\x039D\x03AD\x03B1";  // "Nea"
    HWND window = CreateWindowExW(0, L"STATIC", kGreek, WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_TRUE(window);
    MarkCaption(window);
    EXPECT_EQ(std::wstring(L" ( SAFE ) ") + kGreek, WideCaption(window));
    DestroyWindow(window);
}
