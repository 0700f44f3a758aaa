// The association checks that run as the settings dialog opens, over a
// private registry: which prompt or warning the user meets, and what an
// answer changes.
#include "tests/ui/SettingsDialogFixture.h"

#include "associations/AssociationManager.h"
#include "programwide/FormatText.h"

namespace {

const char kOtherBrowser[] = "\"C:\\Program Files\\Other\\browser.exe\" \"%1\"";

std::string ProgramPath()
{
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class SettingsAssociationsTest : public SettingsDialogFixture {
protected:
    // Opens the settings dialog and closes it with Cancel; the prompt gets
    // ANSWER.
    void Open(UINT answer)
    {
        EXPECT_EQ(2, OpenSettings([](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); }, answer));
    }

    bool TakenOver()
    {
        AssociationManager manager;
        return manager.IsTakenOver(program_.c_str(), g_launcher.productCaption, HKEY_CURRENT_USER);
    }
    bool Broken()
    {
        AssociationManager manager;
        return manager.IsTakeoverBroken(program_.c_str(), g_launcher.productCaption, HKEY_CURRENT_USER, AfterTakeover);
    }
    void TakeOver()
    {
        AssociationManager manager;
        manager.SaveBrowser(program_.c_str(), g_launcher.productCaption, HKEY_CURRENT_USER);
        ASSERT_TRUE(TakenOver());
    }

    std::string program_ = ProgramPath();
};

TEST_F(SettingsAssociationsTest, YesToTheOfferTakesTheAssociationsOver)
{
    Open(IDOK);
    EXPECT_EQ(1, prompts);
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(TakenOver());
    EXPECT_FALSE(Broken());
    EXPECT_EQ(1u, StoredSetting("CheckAsDef"));
}

TEST_F(SettingsAssociationsTest, NoToTheOfferChangesNothing)
{
    std::string before = DumpTree(HKEY_CURRENT_USER, "Software\\Classes");
    Open(IDCANCEL);
    EXPECT_EQ(1, prompts);
    EXPECT_FALSE(TakenOver());
    EXPECT_EQ(before, DumpTree(HKEY_CURRENT_USER, "Software\\Classes"));
}

// Another browser handles the machine's web links: a warning, no offer.
TEST_F(SettingsAssociationsTest, AnotherDefaultBrowserGivesTheWarningOnly)
{
    PutValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\http\\shell\\open\\command", nullptr, kOtherBrowser);
    Open(IDOK);
    EXPECT_EQ(0, prompts);
    ASSERT_EQ(1u, warnings.size());
    EXPECT_EQ(LoadResourceString(IDS_SET_IE_DEFAULT), warnings[0]);
    EXPECT_FALSE(TakenOver());
}

// Something changed a handler after the takeover: the dialog offers the
// repair, and Yes puts Quillet back in front.
TEST_F(SettingsAssociationsTest, YesToTheRepairReappliesTheTakeover)
{
    TakeOver();
    PutValue(HKEY_CURRENT_USER, "Software\\Classes\\http\\shell\\open\\command", nullptr,
             "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome");
    ASSERT_TRUE(Broken());
    Open(IDOK);
    EXPECT_EQ(1, prompts);
    EXPECT_TRUE(warnings.empty());
    EXPECT_FALSE(Broken());
}

TEST_F(SettingsAssociationsTest, IntactTakeoverAsksNothing)
{
    TakeOver();
    ASSERT_FALSE(Broken());
    Open(IDOK);
    EXPECT_EQ(0, prompts);
    EXPECT_TRUE(warnings.empty());
}

} // namespace
