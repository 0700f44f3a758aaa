#include "common/SharedBlockView.h"

bool SharedBlockView::Create(DWORD size, const char* name)
{
    mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                      0, size, name));
    // Another start created it between this process's look and now: it is
    // the first instance, and its block is not this process's to write.
    if (mapping_ && GetLastError() == ERROR_ALREADY_EXISTS)
        mapping_.reset();
    if (!mapping_)
        return false;
    writable_ = true;
    view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size));
    return view_.is_valid();
}
