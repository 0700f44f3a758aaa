// The "ask for the size, then read" pattern of the Win32 API, written once.
//
//   std::vector<BYTE> bytes;
//   bool ok = ReadTwoCall(bytes, [&](void* data, DWORD size, DWORD* needed) {
//       return GetTokenInformation(token, TokenUser, data, size, needed) != FALSE;
//   });
//
// READ performs the call into DATA (SIZE bytes; null and 0 the first time),
// stores the size the call asks for in *NEEDED and returns true on success;
// on failure the thread's last error says why. Registry-style calls that
// return their status adapt with ReportStatus(). Buffers are std::vector,
// std::string or StackOrHeapBuffer; memory shortage throws
// CAtlException(E_OUTOFMEMORY).
#pragma once

#include "common/AtlException.h"

#include <windows.h>
#include <new>
#include <vector>

// Small reads (SIDs, ACLs, token information) fit on the stack; larger ones
// go to the heap.
template <size_t InlineBytes = 1024>
class StackOrHeapBuffer {
public:
    StackOrHeapBuffer() = default;
    StackOrHeapBuffer(const StackOrHeapBuffer&) = delete;
    StackOrHeapBuffer& operator=(const StackOrHeapBuffer&) = delete;

    // Once on the heap the bytes stay there: a read that comes back shorter
    // than the size asked for must not lose them.
    void resize(size_t size)
    {
        if (size > InlineBytes || onHeap_) {
            heap_.resize(size);
            onHeap_ = true;
        }
        size_ = size;
    }
    BYTE* data() noexcept { return onHeap_ ? heap_.data() : inline_; }
    size_t size() const noexcept { return size_; }

private:
    alignas(8) BYTE inline_[InlineBytes];
    std::vector<BYTE> heap_;
    size_t size_ = 0;
    bool onHeap_ = false;
};

// For calls that return a Win32 status instead of setting the last error.
inline bool ReportStatus(LONG status) noexcept
{
    SetLastError((DWORD)status);
    return status == ERROR_SUCCESS;
}

// Grows BUFFER to SIZE elements; memory shortage becomes E_OUTOFMEMORY.
template <typename Buffer>
void GrowBuffer(Buffer& buffer, DWORD size)
{
    try {
        buffer.resize(size);
    } catch (const std::bad_alloc&) {
        throw CAtlException(E_OUTOFMEMORY);
    }
}

// Returns true with BUFFER holding what the call wrote (cut to the size the
// call reported, when it reports one on success). A size that grew between the calls (another
// thread changed the object) is asked for again.
template <typename Buffer, typename Read>
bool ReadTwoCall(Buffer& buffer, Read read)
{
    DWORD needed = 0;
    bool ok = read(nullptr, 0, &needed);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD error = GetLastError();
        if (!ok && error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA)
            return false;
        if (ok && needed == 0) {
            GrowBuffer(buffer, 0);
            return true;
        }
        GrowBuffer(buffer, needed);
        DWORD size = needed;
        ok = read(buffer.data(), size, &needed);
        if (ok) {
            GrowBuffer(buffer, needed != 0 && needed < size ? needed : size);
            return true;
        }
    }
    return false;
}

// The two-buffer form, for calls that fill two buffers at once and ask for
// both sizes (an account's name and its domain). The first call uses the
// buffers as they come, so buffers sized for the usual case are read in one
// call. READ(first, &firstSize, second, &secondSize) gets the buffers' sizes
// and sets the sizes the call asks for; the buffers keep their size, and the
// caller finds where the call's output ends. False when the first call fails
// for another reason than short buffers; a call that still fails once the
// buffers have the sizes asked for throws CAtlException of its last error.
template <typename First, typename Second, typename Read>
bool ReadTwoCall(First& first, Second& second, Read read)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD firstSize = static_cast<DWORD>(first.size()), secondSize = static_cast<DWORD>(second.size());
        if (read(first.data(), &firstSize, second.data(), &secondSize))
            return true;
        DWORD error = GetLastError();
        if (attempt == 0 && error != ERROR_INSUFFICIENT_BUFFER)
            return false;
        if (error != ERROR_INSUFFICIENT_BUFFER)
            ThrowLastError();
        GrowBuffer(first, firstSize);
        GrowBuffer(second, secondSize);
    }
    ThrowLastError();
}
