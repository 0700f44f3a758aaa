#include "launcher/LaunchFlow.h"

#include <cctype>

std::string ExtractBrowserArguments(const std::string& text)
{
    std::string upper = text;
    if (!upper.empty())
        CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    size_t start = 0;
    size_t match = upper.find("IEXPLORE.EXE\"");
    if (match != std::string::npos) {
        start = match + 13;
    } else if ((match = upper.find("IEXPLORE.EXE")) != std::string::npos) {
        start = match + 12;
    }
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}
