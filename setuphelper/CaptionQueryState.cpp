#include "setuphelper/CaptionQueryState.h"

#include <algorithm>
#include <string.h>

CaptionQueryState captionQueryState;

void CaptionQueryState::Clear()
{
    anchorWindow = nullptr;
    childList.clear();
    stringList.clear();
}

bool CaptionQueryState::DeliverFirst(char* buffer, DWORD* size)
{
    if (stringList.empty() || !size || (*size != 0 && !buffer))
        return false;
    const std::string& first = stringList.front();
    if (*size == 0) {
        *size = (DWORD)first.size();
        return true;
    }
    size_t count = std::min<size_t>(*size, first.size());
    memset(buffer, 0, *size);
    memcpy(buffer, first.data(), count);
    buffer[count] = '\0';
    stringList.erase(stringList.begin());
    return true;
}
