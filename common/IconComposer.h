// Draws an overlay icon over a base icon at the screen's depth. The caller
// owns the returned icon; base and overlay stay the caller's.
#pragma once

#include <windows.h>

HICON ComposeOverlayIcon(HICON base, HICON overlay, HWND window);
HICON ComposeIconAlpha32(HICON base, HICON overlay, HWND window);
HICON ComposeIconMerged(HICON base, HICON overlay);
