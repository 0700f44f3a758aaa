// The settings dialog under test: a settings key of the test's own and a
// private registry holding the browser's classes, so that every opening runs
// the association checks, which offer the takeover.
#pragma once

#include "tests/associations/RegistrySandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Dialogs.h"
#include "ui/resource.h"

#include <functional>
#include <string>
#include <vector>

class SettingsDialogFixture : public UiSettingsTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox_.ok());
        UiSettingsTest::SetUp();
        WriteBrowserClasses(HKEY_CURRENT_USER);
        WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    }

    // Opens the dialog, runs ACT on it once it shows and returns the dialog's
    // result. Warnings of the association checks are answered OK and kept,
    // prompts are counted and get the button ANSWER.
    INT_PTR OpenSettings(std::function<void(HWND)> act, UINT answer = IDCANCEL)
    {
        DialogDriver driver({{"Orvane Quillet", 200, act}});
        driver.Always("Warning", [&](HWND box) {
            warnings.push_back(MessageBoxText(box));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        driver.Always("   Quillet", [&](HWND prompt) {
            ++prompts;
            SendMessageA(GetDlgItem(prompt, answer), BM_CLICK, 0, 0);
        });
        INT_PTR result = driver.Run(IDD_SETTINGS, SettingsDialogProc);
        EXPECT_FALSE(driver.TimedOut());
        EXPECT_EQ(1u, driver.StepsDone());
        return result;
    }

    RegistrySandbox sandbox_;
    std::vector<std::string> warnings;
    int prompts = 0;
};
