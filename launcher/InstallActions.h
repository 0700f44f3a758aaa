// "-INSTALL " and "-UNINSTALL ": the association takeover and its undoing.
#pragma once

int InstallAction();     // 0 or 1
int UninstallAction();   // 0 or 1
