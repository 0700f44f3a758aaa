// Marking of tracked windows: the overlay badge on their icons and, behind
// the noCaption switch, the " ( SAFE ) " prefix on their captions.
#pragma once

#include <windows.h>
#include <stddef.h>

void MarkCaption(HWND window);
void OnCaptionEvent(HWND window);
void MarkIcons(HWND window, size_t index);
void OnIconEvent(HWND window);
HICON QueryWindowIcon(HWND window, WPARAM type);
UINT ExtractProcessIcons(HWND window, HICON* bigIcon, HICON* smallIcon, int iconIndex);
