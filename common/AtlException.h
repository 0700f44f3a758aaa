// The exception of the security classes and the program's containers: one
// HRESULT (E_OUTOFMEMORY, E_INVALIDARG, E_FAIL or a Win32 error as HRESULT).
#pragma once

#include <windows.h>
#include <new>
#include <utility>

class CAtlException {
public:
    explicit CAtlException(HRESULT hr = E_FAIL) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT m_hr;
};

// The thread's last error as an HRESULT; E_FAIL when no error is set, so
// that a failure is never reported as success.
inline HRESULT HresultFromLastError() noexcept
{
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

[[noreturn]] inline void ThrowLastError() { throw CAtlException(HresultFromLastError()); }

// Runs WORK, turning the standard library's memory shortage into
// CAtlException(E_OUTOFMEMORY), the one error the containers report.
template <typename Work>
decltype(auto) WithOutOfMemoryAsAtl(Work&& work)
{
    try {
        return std::forward<Work>(work)();
    } catch (const std::bad_alloc&) {
        throw CAtlException(E_OUTOFMEMORY);
    }
}
