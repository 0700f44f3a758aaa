#include "ui/WebLink.h"

#include "programwide/FormatText.h"
#include "programwide/LauncherState.h"
#include "ui/resource.h"

HyperLink g_webLink;

HINSTANCE UiModule()
{
    return g_launcher.instance ? g_launcher.instance : GetModuleHandleA(nullptr);
}

void AttachWebLink(HWND dialog)
{
    g_webLink.SetHyperLink(LoadResourceString(IDS_MAKER_URL).c_str());
    g_webLink.SetExtendedStyle(g_webLink.ExtendedStyle() | HyperLink::CommandButton);
    HWND control = GetDlgItem(dialog, IDC_WEB_LINK);
    g_webLink.SubclassWindow(control);
    // The dialog may already be showing the notice as plain text.
    InvalidateRect(control, nullptr, TRUE);
}

bool IsWebLinkClick(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    HWND link = GetDlgItem(dialog, IDC_WEB_LINK);
    return LOWORD(wParam) == IDC_WEB_LINK && HIWORD(wParam) == 0 && link &&
           reinterpret_cast<HWND>(lParam) == link;
}
