// The product caption: string 134, or the program's file name up to its
// first "." when the string table has no such entry.
#pragma once

#include <windows.h>

// Fills CAPTION (CAPACITY characters with the terminator) for the program
// whose module path is MODULEPATH.
void LoadProductCaption(HINSTANCE instance, const char* modulePath, char* caption, int capacity);
