// Where Quillet's log files go. Next to Quillet.exe wherever this user may
// write there (an administrator, a copy outside Program Files, scripts that
// read it there); a limited user may only read the program's folder under
// Program Files, and that user's own copy goes to
// "%APPDATA%\Orvane\<product>\" instead.
//
// The user's own copy, when there is one, is the current log: a log begun
// afresh next to Quillet.exe removes it. Readers (the setup, the
// uninstaller) follow the same rule. Nothing here loads a shell library.
#pragma once

#include <string>

// The path of the log NAME begun afresh, already emptied: next to
// Quillet.exe when that can be written, else the user's own copy. Empty
// when neither can be written.
std::string BeginLogFile(const char* name);

// The path of the current log NAME, found without writing anything: the
// user's own copy when there is one, else the file next to Quillet.exe.
std::string CurrentLogFile(const char* name);
