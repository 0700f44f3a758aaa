// The one system test the association code needs.
#pragma once

// True on Windows 2000 (NT platform, version 5.0), where the machine-wide
// classes are taken over as well and the DDE keys are removed.
bool IsWindows2000();
