// The switches of Quillet's command line. They are matched without regard to
// case anywhere in the text, each with one trailing blank; the text is
// examined with one blank appended, so a switch at the very end matches too.
#pragma once

#include <string>

struct CommandLineSwitches {
    bool install = false;     // "-INSTALL "
    bool uninstall = false;   // "-UNINSTALL "
    bool userOnly = false;    // "-USERONLY ": with "-UNINSTALL ", the running user's links alone
    bool embedding = false;   // "-EMBEDDING ": never show the startup dialog
    bool noSplash = false;    // "-NOSPLASH ": never show the startup dialog
    bool noCaption = false;   // "-NOCAPTION "
};

// Finds the switches in COMMANDLINE and cuts the first "-NOSPLASH " and the
// first "-NOCAPTION " out of it; everything else stays, quotes included.
CommandLineSwitches TakeSwitches(std::string& commandLine);
