// The ordinary start of a command line, for the bypass keys and the startup
// dialog's non-secure choice.
#pragma once

// Starts g_launcher.commandLine with CreateProcessA and the process's own
// token; tells the user when neither it nor the saved browser can be started.
void RunUnrestricted();
