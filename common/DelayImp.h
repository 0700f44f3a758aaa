// The delay-load helper's declarations, once: MinGW's delayimp.h has no
// include guard of its own.
#pragma once

#include <windows.h>
#include <delayimp.h>
