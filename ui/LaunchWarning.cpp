#include "ui/LaunchWarning.h"

#include "programwide/FormatText.h"
#include "programwide/LauncherState.h"

void ShowLaunchWarning(unsigned stringId, const std::string& text)
{
    std::string format = LoadResourceString(stringId);
    if (format.empty())
        return;
    std::string message = FormatText(format.c_str(), text.c_str());
    MessageBoxA(g_launcher.mainWindow, message.c_str(), g_launcher.productCaption, MB_ICONWARNING);
}
