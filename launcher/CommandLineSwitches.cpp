#include "launcher/CommandLineSwitches.h"

#include <windows.h>

namespace {

// Upper-casing in the ANSI code page keeps every character's position, so a
// match in the copy marks the same range in the original.
std::string UpperCopyWithBlank(const std::string& text)
{
    std::string upper = text + " ";
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    return upper;
}

bool Contains(const std::string& upper, const char* name)
{
    return upper.find(name) != std::string::npos;
}

// Cuts the first occurrence of NAME out of both texts.
bool TakeSwitch(std::string& upper, std::string& commandLine, const std::string& name)
{
    size_t position = upper.find(name);
    if (position == std::string::npos)
        return false;
    upper.erase(position, name.size());
    // The switch may end on the appended blank, one past the original text.
    commandLine.erase(position, name.size());
    return true;
}

} // namespace

CommandLineSwitches TakeSwitches(std::string& commandLine)
{
    std::string upper = UpperCopyWithBlank(commandLine);
    CommandLineSwitches switches;
    switches.install = Contains(upper, "-INSTALL ");
    switches.uninstall = Contains(upper, "-UNINSTALL ");
    switches.userOnly = Contains(upper, "-USERONLY ");
    switches.embedding = Contains(upper, "-EMBEDDING ");
    switches.noSplash = TakeSwitch(upper, commandLine, "-NOSPLASH ");
    switches.noCaption = TakeSwitch(upper, commandLine, "-NOCAPTION ");
    return switches;
}
