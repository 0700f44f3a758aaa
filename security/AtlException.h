// The exception of the security classes and the program's containers: one
// HRESULT (E_OUTOFMEMORY, E_INVALIDARG, E_FAIL or a Win32 error as HRESULT).
#pragma once

#include <windows.h>

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
