#include "launcher/FirstInstance.h"
#include "programwide/LauncherState.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
};

std::vector<Seen> s_seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND || message == WM_SYSCHAR)
        s_seen.push_back({message, wParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

TEST(MessageLoop, AltQuestionMarkAndAltSlashBecomeTheAboutCommand)
{
    g_launcher.instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = g_launcher.instance;
    windowClass.lpszClassName = "MessageLoopTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, g_launcher.instance, nullptr);
    ASSERT_TRUE(window);
    s_seen.clear();
    // Alt is held while the characters arrive, as when the user types them.
    BYTE keys[256] = {}, saved[256] = {};
    ASSERT_TRUE(GetKeyboardState(saved));
    keys[VK_MENU] = 0x80;
    ASSERT_TRUE(SetKeyboardState(keys));

    const LPARAM altHeld = 1 << 29;   // the context bit of a key pressed with Alt
    PostMessageA(window, WM_SYSCHAR, '?', altHeld);
    PostMessageA(window, WM_SYSCHAR, '/', altHeld);
    PostMessageA(window, WM_SYSCHAR, 'x', altHeld);
    PostQuitMessage(7);
    EXPECT_EQ(7, RunMessageLoop());
    SetKeyboardState(saved);

    // Accelerator commands carry 1 in the high word.
    const Seen expected[] = {
        {WM_COMMAND, MAKEWPARAM(104, 1)},
        {WM_COMMAND, MAKEWPARAM(104, 1)},
        {WM_SYSCHAR, 'x'},   // no accelerator: dispatched as it came
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], s_seen.size());
    for (size_t i = 0; i < s_seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].message, s_seen[i].message);
        EXPECT_EQ(expected[i].wParam, s_seen[i].wParam);
    }
    DestroyWindow(window);
    UnregisterClassA(windowClass.lpszClassName, g_launcher.instance);
}
