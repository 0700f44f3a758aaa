#include "associations/HandlerOwner.h"

#include <windows.h>

namespace {

bool EraseAll(std::string& text, const std::string& part)
{
    bool found = false;
    for (size_t at; !part.empty() && (at = text.find(part)) != std::string::npos; found = true)
        text.erase(at, part.size());
    return found;
}

} // namespace

std::string UpperCase(const char* text)
{
    std::string upper(text);
    if (!upper.empty())
        CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    return upper;
}

size_t FindProgram(const std::string& text, const std::string& program)
{
    if (program.empty())
        return std::string::npos;
    return UpperCase(text.c_str()).find(UpperCase(program.c_str()));
}

HandlerOwner CommandOwner(const std::string& command, const std::vector<std::string>& programs)
{
    if (command.find("rundll32") != std::string::npos)
        return HandlerOwner::Neutral;
    std::string text = UpperCase(command.c_str());
    bool quillet = false;
    for (const std::string& program : programs)
        quillet = EraseAll(text, UpperCase(program.c_str())) || quillet;
    bool browser = EraseAll(text, "IEXPLORE.EXE");
    if (text.find(".EXE") != std::string::npos)
        return HandlerOwner::Other;
    if (quillet)
        return HandlerOwner::Quillet;
    return browser ? HandlerOwner::Browser : HandlerOwner::Other;
}

std::string ReplaceProgram(const std::string& text, size_t at, size_t length, const std::string& replacement)
{
    size_t begin = at;
    size_t end = at + length;
    if (begin > 0 && end < text.size() && text[begin - 1] == '"' && text[end] == '"') {
        --begin;
        ++end;
    }
    if (replacement.empty() && end < text.size() && text[end] == ' ')
        ++end;
    return text.substr(0, begin) + replacement + text.substr(end);
}
