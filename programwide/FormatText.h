// printf-style formatting into a growable string: the length is asked for
// first and the text then written into exactly that much room, so no
// argument (a 32,767-character command line, say) can run past a buffer.
#pragma once

#include <cstdarg>
#include <string>

std::string FormatTextV(const char* format, va_list arguments);
std::string FormatText(const char* format, ...);

// The string table entry ID of Quillet's resources; empty when it is missing.
std::string LoadResourceString(unsigned id);
