// The process-wide launcher state: what the entry decided and what the other
// parts of Quillet (main window, launch flow, marking, dialogs) read from it.
#pragma once

#include <windows.h>
#include <string>

struct LauncherState {
    HINSTANCE instance = nullptr;
    char modulePath[261] = {};          // GetModuleFileNameA of Quillet.exe
    char productCaption[100] = {};      // string 134, or the module name without extension
    char windowTitle[100] = {};         // string 103: title of the main window
    char windowClassName[100] = {};     // string 109: class of the main window
    std::string receivedCommandLine;    // the command line as the process received it
    std::string commandLine;            // what is launched, or handed to the first instance
    DWORD runRestricted = 1;            // 1 = protected start, 0 = unrestricted
    DWORD noCaption = 1;                // non-zero: caption marking does nothing
    HWND mainWindow = nullptr;          // the first instance's hidden window
    HICON overlayBigIcon = nullptr;     // icon 154 at SM_CXICON
    HICON overlaySmallIcon = nullptr;   // icon 154 at SM_CXSMICON
};

extern LauncherState g_launcher;
