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

    // Whole aligned 32-bit words (a view starts on a page), so that a reader
    // never sees half of a field another process is writing. SIZE is a
    // multiple of 4 and the other side is 4-byte aligned; the block is.
    // Volatile: the compiler must not turn the loops into a runtime call.
    void Read(void* destination, size_t size) const noexcept
    {
        if (!view_)
            return;
        const volatile DWORD* source = static_cast<const DWORD*>(view_.get());
        DWORD* target = static_cast<DWORD*>(destination);
        for (size_t i = 0; i < size / sizeof(DWORD); ++i)
            target[i] = source[i];
    }

    void Write(const void* source, size_t size) noexcept
    {
        if (!view_)
            return;
        volatile DWORD* target = static_cast<DWORD*>(view_.get());
        const DWORD* words = static_cast<const DWORD*>(source);
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
    unique_handle mapping_;
    unique_view view_;
    bool writable_ = false;
};
