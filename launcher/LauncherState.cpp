#include "launcher/LauncherState.h"

LauncherState g_launcher;
