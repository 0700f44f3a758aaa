#include "launcher/ProductCaption.h"

#include "ui/resource.h"

#include <shlwapi.h>
#include <cstring>

void LoadProductCaption(HINSTANCE instance, const char* modulePath, char* caption, int capacity)
{
    if (LoadStringA(instance, IDS_PRODUCT_CAPTION, caption, capacity) > 0)
        return;
    const char* fileName = PathFindFileNameA(modulePath);
    const char* dot = std::strchr(fileName, '.');
    size_t length = dot ? static_cast<size_t>(dot - fileName) : std::strlen(fileName);
    if (length > static_cast<size_t>(capacity - 1))
        length = static_cast<size_t>(capacity - 1);
    std::memcpy(caption, fileName, length);
    caption[length] = '\0';
}
