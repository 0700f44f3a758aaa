// What the settings dialog does as it opens: the association checks with
// their warning and prompts, then the controls from the settings.
#include "ui/Dialogs.h"

#include "associations/AssociationManager.h"
#include "associations/SystemVersion.h"
#include "programwide/FormatText.h"
#include "programwide/LauncherState.h"
#include "programwide/LogPlace.h"
#include "programwide/SettingsStore.h"
#include "ui/WebLink.h"
#include "ui/resource.h"

#include <string>

namespace {

bool AskForDefaultBrowser(HWND dialog)
{
    return DialogBoxParamA(UiModule(), MAKEINTRESOURCEA(IDD_DEFAULT_PROMPT), dialog, DefaultBrowserPromptProc,
                           0) == IDOK;
}

void WarnBrowserNotDefault()
{
    std::string text = LoadResourceString(IDS_SET_IE_DEFAULT);
    std::string caption = LoadResourceString(IDS_WARNING);
    if (!text.empty())
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

// Not yet the handler: offer the takeover when the browser is the default,
// warn when it is not.
void OfferTakeover(HWND dialog, AssociationManager& manager, const char* program, const char* product)
{
    bool fault = manager.FindAssociationFault(program, product, HKEY_CURRENT_USER, BeforeTakeover);
    manager.RunErrorTest(program, product, HKEY_CURRENT_USER, BeforeTakeover);
    if (fault || manager.FindAssociationFault(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover)) {
        manager.RunErrorTest(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover);
        WarnBrowserNotDefault();
        return;
    }
    manager.RunErrorTest(program, product, HKEY_LOCAL_MACHINE, BeforeTakeover);
    if (!AskForDefaultBrowser(dialog))
        return;
    manager.SaveBrowser(program, product, HKEY_CURRENT_USER);
    if (IsWindows2000())
        manager.SaveBrowser(program, product, HKEY_LOCAL_MACHINE);
}

// Taken over, but something has changed the handlers since: offer the repair.
void OfferRepair(HWND dialog, AssociationManager& manager, const char* program, const char* product)
{
    manager.RunErrorTest(program, product, HKEY_CURRENT_USER, BeforeTakeover);
    if (!AskForDefaultBrowser(dialog))
        return;
    manager.ReapplyTakeover(program, product, HKEY_CURRENT_USER);
    if (IsWindows2000())
        manager.ReapplyTakeover(program, product, HKEY_LOCAL_MACHINE);
}

void CheckAssociations(HWND dialog)
{
    char program[MAX_PATH + 1] = {};
    lstrcpynA(program, g_launcher.modulePath, sizeof program);
    if (!program[0])
        GetModuleFileNameA(nullptr, program, MAX_PATH);
    AssociationManager manager;
    // The checks append to the log: it is not started afresh here.
    manager.SetLogFile(CurrentLogFile("ErrorBrowser.log").c_str());
    const char* product = g_launcher.productCaption;
    if (!manager.IsTakenOver(program, product, HKEY_CURRENT_USER))
        OfferTakeover(dialog, manager, program, product);
    else if (manager.IsTakeoverBroken(program, product, HKEY_CURRENT_USER, AfterTakeover))
        OfferRepair(dialog, manager, program, product);
}

void ShowKeys(HWND dialog)
{
    DWORD key = 0;
    ReadSetting("Key", key);
    CheckDlgButton(dialog, IDC_KEY_ALT, (key & 0xFF) == 0x12 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_KEY_CTRL, ((key >> 8) & 0xFF) == 0x11 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_KEY_SHIFT, ((key >> 16) & 0xFF) == 0x10 ? BST_CHECKED : BST_UNCHECKED);
}

void ShowStartupTime(HWND dialog)
{
    DWORD runShow = 5;
    ReadSetting("RunShow", runShow);
    CheckDlgButton(dialog, IDC_SHOW_STARTUP, runShow == 5 ? BST_CHECKED : BST_UNCHECKED);
    // Enables the edit exactly when the box is ticked.
    SendMessageA(dialog, WM_COMMAND, IDC_SHOW_STARTUP, 0);
    SendDlgItemMessageA(dialog, IDC_STARTUP_SECONDS, EM_LIMITTEXT, 2, 0);
    DWORD seconds = 3;
    ReadSetting("WhileShow", seconds);
    if (seconds == 0)
        seconds = 3;
    SetDlgItemInt(dialog, IDC_STARTUP_SECONDS, seconds, FALSE);
}

} // namespace

void InitSettingsDialog(HWND dialog)
{
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(UiModule(), MAKEINTRESOURCEA(IDI_SETTINGS))));
    CheckAssociations(dialog);
    ShowStartupTime(dialog);
    ShowKeys(dialog);
}
