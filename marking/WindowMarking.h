// Marking of tracked windows: the overlay badge on their icons and, behind
// the noCaption switch, the " ( SAFE ) " prefix on their captions.
#pragma once

#include <windows.h>
#include <stddef.h>

// Loads what composing the badge needs (the common controls' image lists)
// while a started browser is still on its way to its first window, so that
// the load is not paid once the window is there, when a hand-off arriving
// with that window waits for the tracking to end.
void PrepareIconMarking();
void MarkCaption(HWND window);
void OnCaptionEvent(HWND window);
void MarkIcons(HWND window, size_t index);
void OnIconEvent(HWND window);
HICON QueryWindowIcon(HWND window, WPARAM type);
UINT ExtractProcessIcons(HWND window, HICON* bigIcon, HICON* smallIcon, int iconIndex);
