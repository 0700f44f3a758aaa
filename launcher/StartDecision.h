// Whether one start of Quillet opens its command line protected or
// unrestricted, from the switches, the bypass keys and the startup dialog.
#pragma once

enum class StartChoice {
    Protected,      // first-instance start-up or hand-off
    Unrestricted,   // CreateProcessA with the user's own token
    Cancelled,      // the user cancelled the startup dialog
};

struct StartFlags {
    bool browserStart = false;   // the settings dialog asked for a browser start
    bool noSplash = false;       // "-NOSPLASH " was seen
    bool embedding = false;      // "-EMBEDDING " was seen
};

// Reads "Key" and "RunShow", tests the keyboard, may show the startup
// dialog, and leaves g_launcher.runRestricted in step with the choice.
StartChoice DecideStart(const StartFlags& flags);
