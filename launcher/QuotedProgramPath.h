// A program path put in front of a command line. Internet Explorer's path
// normally holds blanks ("C:\Program Files\..."); unquoted, process creation
// would try "C:\Program.exe" first, a file a limited user may be able to
// plant. Only the command line built from the path is quoted, never what is
// stored.
#pragma once

#include <string>

std::string QuotedProgramPath(const std::string& path);
