#include "ui/Dialogs.h"

#include "programwide/FormatText.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/resource.h"

#include <cstdlib>

namespace {

const char kTitle[] = "Orvane Quillet 2.0";
const POINT kProtectedCentre = {70, 84};
const POINT kUnprotectedCentre = {70, 200};
const POINT kOffTheButtons = {300, 20};

void PostMove(HWND dialog, POINT at)
{
    PostMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
}

void PostKey(HWND dialog, UINT key)
{
    PostMessageA(dialog, WM_KEYDOWN, key, 0);
    PostMessageA(dialog, WM_KEYUP, key, 0xC0000001);
}

// Moves the real pointer as a mouse would, so that the system sees the moves.
void MoveMouseTo(int x, int y)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (x * 65536 + width / 2) / width,
                (y * 65536 + height / 2) / height, 0, 0);
}

int ColourDistance(COLORREF a, COLORREF b)
{
    return abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) + abs(GetBValue(a) - GetBValue(b));
}

// Which of the three faces (bitmaps 169, 170, 171) the dialog shows, judged
// by pixels read back from the screen where the faces differ; -1 when none
// matches. On a 16-bit screen the colours are rounded on the way, so a face
// matches within a few steps of each channel.
int FaceOnScreen(HWND dialog)
{
    static const UINT kFaces[] = {IDB_STARTUP_FACE, IDB_STARTUP_FACE_SAFE, IDB_STARTUP_FACE_UNSAFE};
    static const POINT kSamples[] = {{70, 84}, {70, 200}, {137, 150}, {300, 104}, {160, 106}};
    HDC window = GetDC(dialog);
    HDC memory = CreateCompatibleDC(window);
    int shown = -1;
    for (int face = 0; face < 3 && shown < 0; ++face) {
        HBITMAP picture = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kFaces[face]));
        HGDIOBJ previous = SelectObject(memory, picture);
        bool all = true;
        for (POINT at : kSamples)
            all = all && ColourDistance(GetPixel(window, at.x, at.y), GetPixel(memory, at.x, at.y)) <= 24;
        if (all)
            shown = face;
        SelectObject(memory, previous);
        DeleteObject(picture);
    }
    DeleteDC(memory);
    ReleaseDC(dialog, window);
    return shown;
}

class StartupDialogTest : public UiSettingsTest {
protected:
    void SetUp() override
    {
        UiSettingsTest::SetUp();
        // The real pointer stays off the dialog, so that only the posted
        // moves reach it.
        SetCursorPos(0, 0);
    }
};

TEST_F(StartupDialogTest, CountdownEndsByItselfWithTheProtectedStart)
{
    StoreSetting("WhileShow", 5);
    int face = -2;
    DialogDriver driver({{kTitle, 1500, [&](HWND dialog) {
                              face = FaceOnScreen(dialog);
                              EXPECT_TRUE(SaveWindowShot(dialog, "startup"));
                          }}});
    DWORD start = GetTickCount();
    INT_PTR result = driver.Run(IDD_STARTUP, StartupDialogProc);
    DWORD took = GetTickCount() - start;
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(1, result);
    EXPECT_EQ(0, face);
    EXPECT_GE(took, 4800u);
    EXPECT_LE(took, 7500u);
    EXPECT_EQ(1u, g_launcher.runRestricted);
    EXPECT_EQ("unchanged", g_launcher.commandLine);
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("While"));   // the time-out saves nothing
}

// The pointer resting on either button holds the countdown and shows that
// button's face; leaving both lets it run out.
TEST_F(StartupDialogTest, PointerOnAButtonHoldsTheCountdown)
{
    StoreSetting("WhileShow", 1);
    int faceOverProtected = -2, faceOverUnprotected = -2;
    DialogDriver driver({
        {kTitle, 100, [](HWND dialog) { PostMove(dialog, kProtectedCentre); }},
        {kTitle, 1300, [&](HWND dialog) {
             faceOverProtected = FaceOnScreen(dialog);
             EXPECT_TRUE(SaveWindowShot(dialog, "startup-protected"));
             PostMove(dialog, kUnprotectedCentre);
         }},
        {kTitle, 1300, [&](HWND dialog) {
             faceOverUnprotected = FaceOnScreen(dialog);
             EXPECT_EQ(dialog, GetCapture());
             EXPECT_TRUE(SaveWindowShot(dialog, "startup-unprotected"));
             PostMove(dialog, kOffTheButtons);
         }},
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(1, driver.Run(IDD_STARTUP, StartupDialogProc));
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(3u, driver.StepsDone());
    EXPECT_EQ(1, faceOverProtected);
    EXPECT_EQ(2, faceOverUnprotected);
    EXPECT_GE(took, 3500u);
    EXPECT_EQ(1u, g_launcher.runRestricted);
    EXPECT_EQ(nullptr, GetCapture());
}

// The dialog has no taskbar button: a hover that another window ends by
// taking the capture or the activation, or that the pointer ends by leaving
// the dialog in the background, must not hold the countdown.
TEST_F(StartupDialogTest, LosingCaptureActivationOrThePointerEndsTheHover)
{
    static const struct {
        const char* name;
        void (*takeAway)(HWND dialog, HWND other);
    } cases[] = {
        {"capture taken", [](HWND, HWND other) { SetCapture(other); }},
        {"another window active", [](HWND, HWND other) { SetActiveWindow(other); }},
        // In the background the capture brings no moves once the pointer
        // is elsewhere: the system's leave report is all the dialog gets.
        {"pointer left while in the background", [](HWND dialog, HWND) { PostMessageA(dialog, WM_MOUSELEAVE, 0, 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StoreSetting("WhileShow", 1);
        HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                     nullptr, nullptr);
        ASSERT_TRUE(other);
        HWND captureOnButton = nullptr;
        DWORD takenAt = 0;
        DialogDriver driver({
            {kTitle, 100, [](HWND dialog) { PostMove(dialog, kProtectedCentre); }},
            {kTitle, 300, [&](HWND dialog) {
                 captureOnButton = GetCapture();
                 takenAt = GetTickCount();
                 c.takeAway(dialog, other);
             }},
        }, 8000);
        INT_PTR result = driver.Run(IDD_STARTUP, StartupDialogProc);
        DWORD after = GetTickCount() - takenAt;
        DestroyWindow(other);
        EXPECT_FALSE(driver.TimedOut());
        EXPECT_EQ(1, result);
        EXPECT_EQ(2u, driver.StepsDone());
        EXPECT_NE(nullptr, captureOnButton);
        EXPECT_GE(after, 600u) << "the rest of the countdown runs";
        EXPECT_LT(after, 4000u);
        EXPECT_EQ(1u, g_launcher.runRestricted);
    }
}

// A strip that cannot be set up has no timer to end the countdown.
TEST_F(StartupDialogTest, StripThatCannotBeSetUpEndsAtOnceProtected)
{
    StoreSetting("WhileShow", 20);
    g_startupStripBitmap = 9999;   // no such bitmap
    DialogDriver driver({}, 8000);
    DWORD start = GetTickCount();
    INT_PTR result = driver.Run(IDD_STARTUP, StartupDialogProc);
    DWORD took = GetTickCount() - start;
    g_startupStripBitmap = IDB_STARTUP_STRIP;
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(1, result);
    EXPECT_LT(took, 1500u);
    EXPECT_EQ(1u, g_launcher.runRestricted);
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("While"));
}

// A press on one button and a release on the other is no click.
TEST_F(StartupDialogTest, PressAndReleaseOnDifferentButtonsStartsNothing)
{
    StoreSetting("WhileShow", 20);
    bool open = false;
    DialogDriver driver({
        {kTitle, 100, [](HWND dialog) {
             PostMove(dialog, kProtectedCentre);
             PostMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kProtectedCentre.x, kProtectedCentre.y));
             PostMove(dialog, kUnprotectedCentre);
             PostMessageA(dialog, WM_LBUTTONUP, 0, MAKELPARAM(kUnprotectedCentre.x, kUnprotectedCentre.y));
             PostMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kUnprotectedCentre.x, kUnprotectedCentre.y));
             PostMove(dialog, kProtectedCentre);
             PostMessageA(dialog, WM_LBUTTONUP, 0, MAKELPARAM(kProtectedCentre.x, kProtectedCentre.y));
         }},
        {kTitle, 500, [&](HWND dialog) {
             open = true;
             PostKey(dialog, VK_ESCAPE);
         }},
    });
    EXPECT_EQ(2, driver.Run(IDD_STARTUP, StartupDialogProc));
    EXPECT_TRUE(open);
    EXPECT_EQ(1u, g_launcher.runRestricted);
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("While"));
}

TEST_F(StartupDialogTest, EscapeCancelsAndWritesNothing)
{
    StoreSetting("WhileShow", 20);
    DialogDriver driver({{kTitle, 100, [](HWND dialog) { PostKey(dialog, VK_ESCAPE); }}});
    EXPECT_EQ(2, driver.Run(IDD_STARTUP, StartupDialogProc));
    EXPECT_EQ(1u, g_launcher.runRestricted);
    EXPECT_EQ("unchanged", g_launcher.commandLine);
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("While"));
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("RunShow"));
    EXPECT_EQ(20u, StoredSetting("WhileShow"));
}

// Every close but Escape and the time-out stores "While" 1 and leaves
// "RunShow" alone.
TEST_F(StartupDialogTest, ButtonsEnterAndTheLinkEachGiveTheirResult)
{
    const std::string address = LoadResourceString(IDS_MAKER_URL);
    ASSERT_FALSE(address.empty());
    struct {
        const char* name;
        std::function<void(HWND)> act;
        INT_PTR result;
        DWORD runRestricted;
        std::string commandLine;
    } cases[] = {
        {"protected button", [](HWND d) { PostClick(d, kProtectedCentre.x, kProtectedCentre.y); }, 1, 1, "unchanged"},
        {"unprotected button", [](HWND d) { PostClick(d, kUnprotectedCentre.x, kUnprotectedCentre.y); }, 1, 0,
         "unchanged"},
        {"Enter", [](HWND d) { PostKey(d, VK_RETURN); }, 1, 1, "unchanged"},
        {"web link", [](HWND d) { PostClick(GetDlgItem(d, IDC_WEB_LINK), 3, 3); }, 0, 1, address},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        StoreSetting("WhileShow", 20);
        DialogDriver driver({{kTitle, 100, c.act}});
        EXPECT_EQ(c.result, driver.Run(IDD_STARTUP, StartupDialogProc));
        EXPECT_FALSE(driver.TimedOut());
        EXPECT_EQ(c.runRestricted, g_launcher.runRestricted);
        EXPECT_EQ(c.commandLine, g_launcher.commandLine);
        EXPECT_EQ(1u, StoredSetting("While"));
        EXPECT_EQ(0xDEADBEEFu, StoredSetting("RunShow"));
    }
}

// Dragging anywhere but on the buttons moves the dialog with the pointer:
// the system's move loop holds the capture while the button is down.
TEST_F(StartupDialogTest, DraggingTheFaceMovesTheDialog)
{
    StoreSetting("WhileShow", 20);
    RECT before = {}, after = {};
    POINT grip = {};
    HWND captureWhileDown = nullptr;
    DialogDriver driver({
        {kTitle, 200, [&](HWND dialog) {
             GetWindowRect(dialog, &before);
             grip = kOffTheButtons;
             ClientToScreen(dialog, &grip);
             MoveMouseTo(grip.x, grip.y);
             mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
         }},
        {kTitle, 200, [&](HWND dialog) {
             captureWhileDown = GetCapture();
             EXPECT_EQ(dialog, captureWhileDown);
             for (int step = 1; step <= 5; ++step) {
                 MoveMouseTo(grip.x - 8 * step, grip.y + 6 * step);
             }
         }},
        {kTitle, 200, [&](HWND) { mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0); }},
        {kTitle, 200, [&](HWND dialog) {
             GetWindowRect(dialog, &after);
             PostKey(dialog, VK_ESCAPE);
         }},
    });
    EXPECT_EQ(2, driver.Run(IDD_STARTUP, StartupDialogProc));
    EXPECT_EQ(4u, driver.StepsDone());
    EXPECT_NE(nullptr, captureWhileDown);
    EXPECT_EQ(before.right - before.left, after.right - after.left);
    if (RunningOnWine()) {
        // WINE_GAP: Wine's move loop moves the window only for HTCAPTION or
        // HTBORDER in the command's low bits; with HTCLIENT (0xF011) it runs
        // but leaves the window where it was.
        EXPECT_EQ(before.left, after.left);
        EXPECT_EQ(before.top, after.top);
    } else {
        // The pointer went 40 pixels left and 30 down in five moves.
        EXPECT_LT(after.left, before.left - 20);
        EXPECT_GT(after.top, before.top + 15);
    }
}

// With no "WhileShow" the strip runs out almost at once.
TEST_F(StartupDialogTest, MissingTimeEndsAtOnce)
{
    DialogDriver driver({});
    DWORD start = GetTickCount();
    EXPECT_EQ(1, driver.Run(IDD_STARTUP, StartupDialogProc));
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_EQ(0xDEADBEEFu, StoredSetting("While"));
}

} // namespace
