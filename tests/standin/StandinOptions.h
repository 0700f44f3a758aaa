// What the stand-in browser is asked to do, from its command line.
//
// The stand-in's own options start with "--"; every other word is a browser
// argument (-nohome, a link, -embedding) and is only recorded, the way the
// real browser would take it. Options may also come from the registry value
// "Options" of HKCU\Software\Quillet Test Bench\Stand-in, for starts whose
// command line the test does not write (the shell's road through Quillet);
// the command line wins over the registry.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct StandinOptions {
    std::string reportPath;                // --report=PATH
    bool exitAtOnce = false;               // --exit
    bool hidden = false;                   // --hidden: windows are never shown
    bool classIconsOnly = false;           // --classicons: no WM_SETICON icons
    std::optional<DWORD> blankFirstMs;     // --blank[=MS]
    DWORD delayMs = 0;                     // --delay=MS
    bool secondWindow = false;             // --second
    bool ownedDialog = false;              // --dialog
    std::optional<DWORD> captionChangeMs;  // --recaption=MS[:TEXT]
    std::string newCaption;
    std::optional<DWORD> iconChangeMs;     // --reicon=MS
    std::optional<DWORD> stayMs;           // --stay=MS
    std::string title;                     // --title=TEXT
    std::string holdPath;                  // --hold=PATH
    UINT exitCode = 0;                     // --exitcode=N
    std::vector<std::string> arguments;    // everything that is not ours
    std::vector<std::string> unknown;      // "--" words we do not know
};

// Splits a command line into words: blanks separate, double quotes group and
// are dropped (no backslash escapes: links and paths stay as written).
std::vector<std::string> SplitCommandLine(const std::string& text);

// Applies WORDS (no program name) on top of OPTIONS.
void ApplyStandinWords(const std::vector<std::string>& words, StandinOptions& options);

// The registry's options, then the command line's (program name skipped).
StandinOptions ReadStandinOptions(const char* commandLine);

// The caption of the main window: --title, or the first argument that looks
// like a link, followed by " - Stand-in Browser".
std::string MainCaption(const StandinOptions& options);
