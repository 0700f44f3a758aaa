// The association checks that run as the settings dialog opens, over a
// private registry: which prompt or warning the user meets, and what an
// answer changes.
#include "ui/Dialogs.h"

#include "associations/AssociationManager.h"
#include "programwide/FormatText.h"
#include "tests/associations/RegistrySandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/resource.h"

namespace {

const char kOtherBrowser[] = "\"C:\\Program Files\\Other\\browser.exe\" \"%1\"";

std::string ProgramPath()
{
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class SettingsAssociationsTest : public UiSettingsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox_.ok());
        UiSettingsTest::SetUp();
        WriteBrowserClasses(HKEY_CURRENT_USER);
        WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    }

    // Opens the settings dialog and closes it with Cancel; the prompt gets
    // ANSWER, a warning OK.
    void Open(UINT answer)
    {
        DialogDriver driver({{"Orvane Quillet", 200, [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); }}});
        driver.Always("Warning", [&](HWND box) {
            warnings.push_back(MessageBoxText(box));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        driver.Always("   Quillet", [&](HWND prompt) {
            ++prompts;
            SendMessageA(GetDlgItem(prompt, answer), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(2, driver.Run(IDD_SETTINGS, SettingsDialogProc));
        EXPECT_FALSE(driver.TimedOut());
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

    RegistrySandbox sandbox_;
    std::string program_ = ProgramPath();
    std::vector<std::string> warnings;
    int prompts = 0;
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
