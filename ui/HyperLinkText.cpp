// The text work of the link control, which needs no window: the anchor
// colours' "R,G,B" form, the "<A>" markup of a label, and the copies of the
// target and label that must not throw.
#include "ui/HyperLinkText.h"

#include "ui/HyperLink.h"

#include <new>

namespace {

// Skips blanks, then reads one decimal number; false when no digit follows.
bool ReadNumber(const char*& text, unsigned& number)
{
    while (*text == ' ')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    number = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        number = number * 10 + (*text - '0');
    return true;
}

bool ReadNumberThenComma(const char*& text, unsigned& number)
{
    if (!ReadNumber(text, number) || *text != ',')
        return false;
    ++text;
    return true;
}

} // namespace

bool CopyLinkText(std::string& field, const char* text) noexcept
{
    try {
        field = text ? text : "";
        return true;
    } catch (const std::bad_alloc&) {
        field.clear();
        return false;
    }
}

LinkMarkup SplitLinkMarkup(const std::string& label)
{
    LinkMarkup parts;
    size_t open = std::string::npos;
    for (size_t i = 0; i + 3 <= label.size(); ++i) {
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, label.c_str() + i, 3, "<A>", 3) == CSTR_EQUAL) {
            open = i;
            break;
        }
    }
    if (open == std::string::npos) {
        parts.before = label;
        return parts;
    }
    parts.before = label.substr(0, open);
    size_t start = open + 3;
    size_t close = std::string::npos;
    for (size_t i = start; i + 4 <= label.size(); ++i) {
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, label.c_str() + i, 4, "</A>", 4) == CSTR_EQUAL) {
            close = i;
            break;
        }
    }
    parts.link = label.substr(start, close == std::string::npos ? std::string::npos : close - start);
    if (close != std::string::npos)
        parts.after = label.substr(close + 4);
    return parts;
}

bool HyperLink::ParseColour(const char* text, COLORREF& colour) noexcept
{
    unsigned red = 0, green = 0, blue = 0;
    if (!ReadNumberThenComma(text, red) || !ReadNumberThenComma(text, green) || !ReadNumber(text, blue))
        return false;
    colour = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
    return true;
}
