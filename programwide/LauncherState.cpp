#include "programwide/LauncherState.h"

LauncherState g_launcher;
