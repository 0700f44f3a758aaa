#include "programwide/FormatText.h"

#include "programwide/LauncherState.h"

#include <cstdio>
#include <vector>

std::string FormatTextV(const char* format, va_list arguments)
{
    va_list measuring;
    va_copy(measuring, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0)
        return std::string();
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return std::string(text.data(), static_cast<size_t>(length));
}

std::string FormatText(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string text = FormatTextV(format, arguments);
    va_end(arguments);
    return text;
}

std::string LoadResourceString(unsigned id)
{
    // Quillet's message texts are well below this; LoadStringA cuts longer
    // ones and always terminates.
    char text[1024] = {};
    int length = LoadStringA(g_launcher.instance, id, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}
