#include "tests/support/RecordedMessage.h"

#include <cstdio>

void PrintTo(const RecordedMessage& entry, std::ostream* out)
{
    char text[128];
    sprintf(text, "{%p, 0x%04X, 0x%08lX, 0x%08lX -> 0x%08lX}", static_cast<void*>(entry.window), entry.message,
            static_cast<unsigned long>(entry.wParam), static_cast<unsigned long>(entry.lParam),
            static_cast<unsigned long>(entry.result));
    *out << text;
}
