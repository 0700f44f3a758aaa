#include "ui/Dialogs.h"

#include "tests/ui/UiTestSupport.h"
#include "ui/resource.h"

namespace {

class DefaultBrowserPromptTest : public UiSettingsTest {};

// Yes, No and Escape all store the box's state; it opens ticked.
TEST_F(DefaultBrowserPromptTest, EveryAnswerStoresTheCheckBox)
{
    struct { const char* name; bool untick; std::function<void(HWND)> answer; INT_PTR result; DWORD stored; } cases[] = {
        {"Yes", false, [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, 1, 1},
        {"No", false, [](HWND d) { SendMessageA(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0); }, 2, 1},
        {"Escape", false, [](HWND d) { PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 0); }, 2, 1},
        {"Yes unticked", true, [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, 1, 0},
        {"No unticked", true, [](HWND d) { SendMessageA(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0); }, 2, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        bool openedTicked = false;
        DialogDriver driver({{"   Quillet", 100, [&](HWND prompt) {
                                  openedTicked = IsDlgButtonChecked(prompt, IDC_ALWAYS_CHECK) == BST_CHECKED;
                                  if (c.untick)
                                      SendMessageA(GetDlgItem(prompt, IDC_ALWAYS_CHECK), BM_CLICK, 0, 0);
                                  c.answer(prompt);
                              }}});
        EXPECT_EQ(c.result, driver.Run(IDD_DEFAULT_PROMPT, DefaultBrowserPromptProc));
        EXPECT_TRUE(openedTicked);
        EXPECT_EQ(c.stored, StoredSetting("CheckAsDef"));
    }
}

TEST_F(DefaultBrowserPromptTest, HasNoCloseBox)
{
    DialogDriver driver({{"   Quillet", 100, [](HWND prompt) {
                              EXPECT_FALSE(GetWindowLongA(prompt, GWL_STYLE) & WS_SYSMENU);
                              EXPECT_TRUE(SaveWindowShot(prompt, "prompt"));
                              PostMessageA(prompt, WM_COMMAND, IDCANCEL, 0);
                          }}});
    EXPECT_EQ(2, driver.Run(IDD_DEFAULT_PROMPT, DefaultBrowserPromptProc));
    EXPECT_EQ(1u, driver.StepsDone());
}

// The About box belongs to the hidden main window, far off the screen; it
// shows on the screen all the same, and OK or Escape closes it.
TEST(AboutDialogTest, OpensOnScreenForAHiddenOwnerAndClosesWithOkOrEscape)
{
    HWND owner = CreateWindowExA(0, "STATIC", "hidden owner", WS_OVERLAPPEDWINDOW, 4096, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, owner);
    struct { const char* name; std::function<void(HWND)> close; INT_PTR result; } cases[] = {
        {"OK", [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, IDOK},
        {"Escape", [](HWND d) { PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 0); }, IDCANCEL},
    };
    bool iconResource = FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM), RT_GROUP_ICON);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND seenOwner = nullptr;
        RECT place = {};
        HICON icon = nullptr;
        DialogDriver driver({{"About", 100, [&](HWND about) {
                                  seenOwner = GetWindow(about, GW_OWNER);
                                  GetWindowRect(about, &place);
                                  icon = reinterpret_cast<HICON>(SendMessageA(about, WM_GETICON, ICON_BIG, 0));
                                  if (c.result == IDOK) {
                                      EXPECT_TRUE(SaveWindowShot(about, "about"));
                                  }
                                  c.close(about);
                              }}});
        EXPECT_EQ(c.result, driver.Run(IDD_ABOUT, AboutDialogProc, owner));
        EXPECT_EQ(owner, seenOwner);
        EXPECT_GE(place.left, 0);
        EXPECT_LE(place.right, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(iconResource, icon != nullptr);
    }
    DestroyWindow(owner);
}

} // namespace
