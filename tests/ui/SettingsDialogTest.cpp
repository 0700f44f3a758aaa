#include "tests/ui/SettingsDialogFixture.h"

#include "programwide/FormatText.h"

namespace {

bool Ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

std::string EditText(HWND dialog)
{
    char text[16] = {};
    GetDlgItemTextA(dialog, IDC_STARTUP_SECONDS, text, sizeof text);
    return text;
}

void Press(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// What one opening of the settings dialog showed.
struct Shown {
    bool shift = false, ctrl = false, alt = false, box = false, editEnabled = false;
    std::string seconds;
};

Shown Read(HWND dialog)
{
    Shown shown;
    shown.shift = Ticked(dialog, IDC_KEY_SHIFT);
    shown.ctrl = Ticked(dialog, IDC_KEY_CTRL);
    shown.alt = Ticked(dialog, IDC_KEY_ALT);
    shown.box = Ticked(dialog, IDC_SHOW_STARTUP);
    shown.editEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_STARTUP_SECONDS)) != FALSE;
    shown.seconds = EditText(dialog);
    return shown;
}

// Each opening offers the takeover, which is declined.
class SettingsDialogTest : public SettingsDialogFixture {
protected:
    // Opens the dialog, reads what it shows into SHOWN and runs ACT on it.
    INT_PTR Open(std::function<void(HWND)> act, Shown* shown = nullptr)
    {
        return OpenSettings([&](HWND dialog) {
            if (shown)
                *shown = Read(dialog);
            act(dialog);
        });
    }
};

TEST_F(SettingsDialogTest, NothingStoredShowsTheDefaultsAndCancelStoresNothing)
{
    Shown shown;
    EXPECT_EQ(2, Open([](HWND dialog) {
        EXPECT_TRUE(SaveWindowShot(dialog, "settings"));
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }, &shown));
    EXPECT_FALSE(shown.shift);
    EXPECT_FALSE(shown.ctrl);
    EXPECT_FALSE(shown.alt);
    EXPECT_TRUE(shown.box);
    EXPECT_TRUE(shown.editEnabled);
    EXPECT_EQ("3", shown.seconds);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(1, prompts);
    for (const char* name : {"Key", "RunShow", "WhileShow"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(0xDEADBEEFu, StoredSetting(name));
    }
}

TEST_F(SettingsDialogTest, StoredValuesAreShown)
{
    struct { DWORD key, runShow, whileShow; Shown expected; } cases[] = {
        {0x100000, 5, 12, {true, false, false, true, true, "12"}},
        {0x001112, 0, 7, {false, true, true, false, false, "7"}},
        {0x101112, 6, 0, {true, true, true, false, false, "3"}},
        {0x130000, 5, 99, {false, false, false, true, true, "99"}},   // 0x13 is no key
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        StoreSetting("Key", c.key);
        StoreSetting("RunShow", c.runShow);
        StoreSetting("WhileShow", c.whileShow);
        Shown shown;
        EXPECT_EQ(2, Open([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, &shown));
        EXPECT_EQ(c.expected.shift, shown.shift);
        EXPECT_EQ(c.expected.ctrl, shown.ctrl);
        EXPECT_EQ(c.expected.alt, shown.alt);
        EXPECT_EQ(c.expected.box, shown.box);
        EXPECT_EQ(c.expected.editEnabled, shown.editEnabled);
        EXPECT_EQ(c.expected.seconds, shown.seconds);
    }
}

TEST_F(SettingsDialogTest, CtrlAndAltGiveKey1112AndOkStoresAllThree)
{
    EXPECT_EQ(1, Open([](HWND dialog) {
        Press(dialog, IDC_KEY_CTRL);
        Press(dialog, IDC_KEY_ALT);
        Press(dialog, IDOK);
    }));
    EXPECT_EQ(0x1112u, StoredSetting("Key"));
    EXPECT_EQ(5u, StoredSetting("RunShow"));
    EXPECT_EQ(3u, StoredSetting("WhileShow"));
}

// An emptied edit stores 0; the next opening shows 3 again.
TEST_F(SettingsDialogTest, EmptiedEditStoresZeroAndShowsThreeNextTime)
{
    EXPECT_EQ(1, Open([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_STARTUP_SECONDS, "");
        Press(dialog, IDOK);
    }));
    EXPECT_EQ(0u, StoredSetting("WhileShow"));
    Shown shown;
    Open([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, &shown);
    EXPECT_EQ("3", shown.seconds);
}

// The edit takes two digits at most; what it holds is stored as typed.
TEST_F(SettingsDialogTest, TypedSecondsAreStored)
{
    EXPECT_EQ(1, Open([](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_STARTUP_SECONDS);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        for (char c : std::string("427"))
            SendMessageA(edit, WM_CHAR, c, 0);
        EXPECT_EQ("42", EditText(dialog));
        Press(dialog, IDOK);
    }));
    EXPECT_EQ(42u, StoredSetting("WhileShow"));
}

// Unticking the box disables the edit at once; OK then stores "RunShow" 0
// and the next opening shows the box unticked.
TEST_F(SettingsDialogTest, UntickingTheStartupBoxDisablesTheEditAtOnce)
{
    EXPECT_EQ(1, Open([](HWND dialog) {
        Press(dialog, IDC_SHOW_STARTUP);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_STARTUP_SECONDS)));
        Press(dialog, IDC_SHOW_STARTUP);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_STARTUP_SECONDS)));
        Press(dialog, IDC_SHOW_STARTUP);
        Press(dialog, IDOK);
    }));
    EXPECT_EQ(0u, StoredSetting("RunShow"));
    Shown shown;
    Open([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, &shown);
    EXPECT_FALSE(shown.box);
    EXPECT_FALSE(shown.editEnabled);
}

TEST_F(SettingsDialogTest, LinkEndsWithZeroAndTheAddressInTheCommandLine)
{
    EXPECT_EQ(0, Open([](HWND dialog) { PostClick(GetDlgItem(dialog, IDC_WEB_LINK), 3, 3); }));
    EXPECT_EQ(LoadResourceString(IDS_MAKER_URL), g_launcher.commandLine);
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("Key"));
}

// The frame the system drew is painted over: white bands and a black outline.
TEST_F(SettingsDialogTest, FrameIsWhiteWithABlackOutline)
{
    COLORREF corner = 0, band = 0, inside = 0;
    Open([&](HWND dialog) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = GetWindowDC(dialog);
        RECT window = {};
        GetWindowRect(dialog, &window);
        int h = window.bottom - window.top;
        corner = GetPixel(dc, 0, h / 2);
        band = GetPixel(dc, 1, h / 2);
        ReleaseDC(dialog, dc);
        HDC client = GetDC(dialog);
        inside = GetPixel(client, 400, 230);
        ReleaseDC(dialog, client);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(RGB(0, 0, 0), corner);
    EXPECT_EQ(RGB(255, 255, 255), band);
    EXPECT_EQ(RGB(255, 255, 255), inside);
}

} // namespace
