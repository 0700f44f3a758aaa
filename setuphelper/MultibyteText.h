// Text of the ANSI code page, which may hold double-byte characters.
#pragma once

#include <string>

// TEXT in upper case, character by character of the ANSI code page.
std::string UpperCaseAnsi(const char* text);

// Whether NEEDLE occurs in HAYSTACK starting at a character boundary (never
// at the trail byte of a double-byte character).
bool ContainsAnsi(const char* haystack, const char* needle);
