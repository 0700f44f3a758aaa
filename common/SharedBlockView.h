// Owner of one named file mapping and its view, used for HookSharedBlock by
// Quillet and by the hook procedures. Opening, reading and closing are
// header only and call nothing but KERNEL32, so Spirel builds them in.
#pragma once

#include <windows.h>
#include <stddef.h>
#include "common/UniqueHandle.h"

class SharedBlockView {
public:
    SharedBlockView() noexcept = default;
    SharedBlockView(const SharedBlockView&) = delete;
    SharedBlockView& operator=(const SharedBlockView&) = delete;

    // Opens an existing mapping; the view is writable only if this owner
    // created a mapping before. True only if the view was mapped.
    bool OpenReadOnly(DWORD size, const char* name) noexcept
    {
        // Not inheritable: a program that starts a child while one of its
        // threads holds the handle must not pass Quillet's block on.
        mapping_.reset(OpenFileMappingA(FILE_MAP_READ, FALSE, name));
        if (!mapping_)
            return false;
        DWORD access = writable_ ? FILE_MAP_READ | FILE_MAP_WRITE : FILE_MAP_READ;
        view_.reset(MapViewOfFile(mapping_.get(), access, 0, 0, size));
        return view_.is_valid();
    }

    // Creates the mapping (PAGE_READWRITE | SEC_COMMIT, exactly SIZE bytes)
    // and maps it writable; fails when the mapping exists already. Its DACL
    // is the creator's to set, through Mapping(). Quillet only.
    bool Create(DWORD size, const char* name);

    // An 8-byte block (HookSharedBlock) is copied in one aligned 64-bit
    // access, which the processor never splits (an x87 load and store on
    // 32-bit x86): no reader sees the window of one publication beside the
    // hook of another. Other sizes go in whole aligned 32-bit words, so that
    // no field is ever seen half written. SIZE is a multiple of 4 and the
    // other side is 4-byte aligned; the block is, and a view starts on a
    // page. Volatile: the compiler must not turn the copies into a runtime
    // call.
    void Read(void* destination, size_t size) const noexcept
    {
        if (!view_)
            return;
        DWORD* target = static_cast<DWORD*>(destination);
        if (size == sizeof(Whole)) {
            Whole whole = __atomic_load_n(static_cast<const volatile Whole*>(view_.get()), __ATOMIC_ACQUIRE);
            target[0] = static_cast<DWORD>(whole);
            target[1] = static_cast<DWORD>(whole >> 32);
            return;
        }
        const volatile DWORD* source = static_cast<const DWORD*>(view_.get());
        for (size_t i = 0; i < size / sizeof(DWORD); ++i)
            target[i] = source[i];
    }

    void Write(const void* source, size_t size) noexcept
    {
        if (!view_)
            return;
        const DWORD* words = static_cast<const DWORD*>(source);
        if (size == sizeof(Whole)) {
            Whole whole = words[0] | (static_cast<Whole>(words[1]) << 32);
            __atomic_store_n(static_cast<volatile Whole*>(view_.get()), whole, __ATOMIC_RELEASE);
            return;
        }
        volatile DWORD* target = static_cast<DWORD*>(view_.get());
        for (size_t i = 0; i < size / sizeof(DWORD); ++i)
            target[i] = words[i];
    }

    bool IsMapped() const noexcept { return view_.is_valid(); }
    HANDLE Mapping() const noexcept { return mapping_.get(); }

    void Close() noexcept
    {
        view_.reset();
        mapping_.reset();
    }

private:
    typedef unsigned long long Whole;

    unique_handle mapping_;
    unique_view view_;
    bool writable_ = false;
};
