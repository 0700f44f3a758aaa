#include "launcher/QuotedProgramPath.h"

std::string QuotedProgramPath(const std::string& path)
{
    if (path.empty() || path[0] == '"')
        return path;
    return "\"" + path + "\"";
}
