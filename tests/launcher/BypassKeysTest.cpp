#include "launcher/BypassKeys.h"

#include <windows.h>
#include <gtest/gtest.h>

namespace {

// The keyboard state of the test thread, put back afterwards.
class BypassKeysTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(GetKeyboardState(saved_)); }
    void TearDown() override { SetKeyboardState(saved_); }

    static void SetKeys(BYTE alt, BYTE ctrl, BYTE shift)
    {
        BYTE state[256] = {};
        state[VK_MENU] = alt;
        state[VK_CONTROL] = ctrl;
        state[VK_SHIFT] = shift;
        ASSERT_TRUE(SetKeyboardState(state));
    }

private:
    BYTE saved_[256] = {};
};

const BYTE kUp = 0x00, kToggled = 0x01, kDown = 0x80, kDownToggled = 0x81;

struct KeyCase {
    DWORD key;
    BYTE alt, ctrl, shift;
    bool expected;
};

} // namespace

TEST_F(BypassKeysTest, ExactlyTheChosenKeysMustBeHeld)
{
    const KeyCase cases[] = {
        {0x100000, kUp, kUp, kDown, true},
        {0x100000, kUp, kUp, kDownToggled, true},
        {0x100000, kUp, kDown, kDown, false},           // Ctrl also held
        {0x100000, kToggled, kToggled, kDown, true},    // the toggle bit alone is up
        {0x100000, kUp, kUp, kToggled, false},
        {0x100000, kUp, kUp, kUp, false},
        {0x101112, kDown, kDown, kDown, true},
        {0x101112, kDown, kUp, kDown, false},
        {0x101112, kUp, kDown, kDown, false},
        {0x000012, kDown, kUp, kUp, true},
        {0x001100, kUp, kDown, kUp, true},
        {0xFF100000, kUp, kUp, kDown, true},            // byte 3 is not examined
        {0, kUp, kUp, kUp, false},                      // no bypass keys chosen
        {0, kDown, kDown, kDown, false},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << c.key << " alt " << int(c.alt) << " ctrl "
                                        << int(c.ctrl) << " shift " << int(c.shift));
        SetKeys(c.alt, c.ctrl, c.shift);
        EXPECT_EQ(c.expected, BypassKeysHeld(c.key));
    }
}

TEST_F(BypassKeysTest, SelectionsOutsideTheLayoutNeverBypass)
{
    // Every byte value other than 0 and the key's own code is no valid
    // selection for that key, whatever the keyboard holds.
    for (unsigned byte = 1; byte < 256; ++byte) {
        for (int position = 0; position < 3; ++position) {
            const BYTE own[] = {VK_MENU, VK_CONTROL, VK_SHIFT};
            if (byte == own[position])
                continue;
            DWORD key = static_cast<DWORD>(byte) << (8 * position);
            SCOPED_TRACE(testing::Message() << std::hex << "key 0x" << key);
            SetKeys(kDown, kDown, kDown);
            EXPECT_FALSE(BypassKeysHeld(key));
            SetKeys(kUp, kUp, kUp);
            EXPECT_FALSE(BypassKeysHeld(key));
        }
    }
}
