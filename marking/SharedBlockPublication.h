// The first instance's HookSharedBlock: what it tells the hook procedures of
// every other process (its window, then its CBT hook) and what tells a later
// start of Quillet that an instance runs. Closing it lets the next start
// become a first instance again.
#pragma once

#include <windows.h>

// Creates the block; false when it exists already (another instance's).
bool CreateSharedBlock();

// Writes both fields; the block is written whole, so that no reader sees a
// hook beside an older window.
void PublishSharedBlock(HWND mainWindow, HHOOK cbtHook);

// Publishes the desktop-wide CBT hook beside the main window.
void PublishCbtHook(HHOOK cbtHook);

void CloseSharedBlock();
