// Growing Pellow's lists: a shortage of memory becomes the program's
// out-of-memory error, which the exports turn into a failed call (an
// exception must never unwind into the installer, whatever language it is
// written in).
#pragma once

#include "common/AtlException.h"

#include <new>
#include <utility>

template <typename Container, typename Value>
void AppendOrThrow(Container& container, Value&& value)
{
    try {
        container.push_back(std::forward<Value>(value));
    } catch (const std::bad_alloc&) {
        throw CAtlException(E_OUTOFMEMORY);
    }
}

// Runs BODY, an export's work; a memory shortage gives FAILED with
// ERROR_NOT_ENOUGH_MEMORY as the last error.
template <typename Result, typename Body>
Result GuardExport(Result failed, Body body) noexcept
{
    try {
        return body();
    } catch (const CAtlException&) {
    } catch (const std::bad_alloc&) {
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failed;
}
