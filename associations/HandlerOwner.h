// Whose program a handler command runs, as the takeover and the restore
// judge it. Program paths are compared without regard to case, as the file
// system does: "C:\PROGRAM FILES\..." and "C:\Program Files\..." are one file.
#pragma once

#include <string>
#include <vector>

enum class HandlerOwner {
    Browser,   // the browser alone
    Quillet,   // one of the given program paths, and nothing but the browser besides
    Other,     // any other program: the user's own choice
    Neutral,   // a rundll32 command, which the takeover leaves as it is
};

// PROGRAMS are the paths Quillet runs or ran from; empty ones are skipped.
HandlerOwner CommandOwner(const std::string& command, const std::vector<std::string>& programs);

// Upper case by the system's code page, so that a double-byte character's
// trail byte is never taken for a letter.
std::string UpperCase(const char* text);

// Where PROGRAM first occurs in TEXT, case aside; npos when it does not.
size_t FindProgram(const std::string& text, const std::string& program);
inline bool NamesProgram(const std::string& text, const std::string& program)
{
    return FindProgram(text, program) != std::string::npos;
}

// TEXT with the program at AT (LENGTH characters) replaced by REPLACEMENT,
// or taken out with the blank after it when REPLACEMENT is empty. Quotes
// around the program go with it.
std::string ReplaceProgram(const std::string& text, size_t at, size_t length, const std::string& replacement);
