#include "launcher/StartDecision.h"
#include "programwide/LauncherState.h"
#include "programwide/SettingsStore.h"
#include "tests/support/SettingsFixture.h"

namespace {

class StartDecisionTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        ASSERT_TRUE(GetKeyboardState(savedKeys_));
        // No startup dialog in these runs.
        WriteSetting("RunShow", 0);
    }
    void TearDown() override
    {
        SetKeyboardState(savedKeys_);
        SettingsFixture::TearDown();
    }
    static void HoldShift(bool held)
    {
        BYTE state[256] = {};
        state[VK_SHIFT] = held ? 0x80 : 0;
        ASSERT_TRUE(SetKeyboardState(state));
    }

private:
    BYTE savedKeys_[256] = {};
};

} // namespace

TEST_F(StartDecisionTest, BypassKeysChooseTheUnrestrictedStart)
{
    const struct { const char* name; DWORD key; bool shift; StartFlags flags; StartChoice expected; } cases[] = {
        {"shift chosen and held", 0x100000, true, {}, StartChoice::Unrestricted},
        {"shift chosen, not held", 0x100000, false, {}, StartChoice::Protected},
        {"no keys chosen", 0, true, {}, StartChoice::Protected},
        {"no splash, held", 0x100000, true, {false, true, false}, StartChoice::Unrestricted},
        {"no splash, not held", 0x100000, false, {false, true, false}, StartChoice::Protected},
        {"browser start, held", 0x100000, true, {true, false, false}, StartChoice::Unrestricted},
        {"embedding, not held", 0x100000, false, {false, false, true}, StartChoice::Protected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSetting("Key", c.key);
        HoldShift(c.shift);
        g_launcher.runRestricted = 0xdeadbeef;
        EXPECT_EQ(c.expected, DecideStart(c.flags));
        EXPECT_EQ(c.expected == StartChoice::Protected ? 1u : 0u, g_launcher.runRestricted);
    }
}

TEST_F(StartDecisionTest, MissingKeySettingNeverBypasses)
{
    BYTE state[256] = {};
    state[VK_SHIFT] = state[VK_CONTROL] = state[VK_MENU] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state));
    EXPECT_EQ(StartChoice::Protected, DecideStart(StartFlags{}));
    EXPECT_EQ(1u, g_launcher.runRestricted);
}
