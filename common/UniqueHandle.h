// One-line owners for every kind of Windows handle the program holds.
//
// An owner closes what it holds when it goes out of scope. Closing never
// changes the thread's last error, so a caller can still read the error of
// the call that failed after the owners of earlier handles have closed.
// Header only, no heap and no exceptions: Spirel builds it in as well.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <stdint.h>

template <typename T, auto Close, intptr_t Invalid = 0>
class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(T value) noexcept : value_(value) {}
    ~unique_any() { reset(); }

    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    T get() const noexcept { return value_; }
    bool is_valid() const noexcept { return (intptr_t)value_ != Invalid; }
    explicit operator bool() const noexcept { return is_valid(); }

    // Closes the held handle and takes VALUE in its place.
    void reset(T value = invalid()) noexcept
    {
        if (is_valid()) {
            DWORD error = GetLastError();
            Close(value_);
            SetLastError(error);
        }
        value_ = value;
    }

    // Gives the handle up without closing it.
    T release() noexcept
    {
        T value = value_;
        value_ = invalid();
        return value;
    }

    // The address of the (emptied) slot, for APIs that return a handle
    // through an out-parameter.
    T* put() noexcept
    {
        reset();
        return &value_;
    }

    static T invalid() noexcept { return (T)Invalid; }

private:
    T value_ = invalid();
};

using unique_handle     = unique_any<HANDLE, &::CloseHandle>;
using unique_file       = unique_any<HANDLE, &::CloseHandle, -1>;  // CreateFile, toolhelp snapshots
using unique_hkey       = unique_any<HKEY, &::RegCloseKey>;
using unique_hicon      = unique_any<HICON, &::DestroyIcon>;
using unique_hbitmap    = unique_any<HBITMAP, &::DeleteObject>;
using unique_hbrush     = unique_any<HBRUSH, &::DeleteObject>;
using unique_hrgn       = unique_any<HRGN, &::DeleteObject>;
using unique_hfont      = unique_any<HFONT, &::DeleteObject>;
using unique_hdc        = unique_any<HDC, &::DeleteDC>;             // CreateCompatibleDC
using unique_hlocal     = unique_any<HLOCAL, &::LocalFree>;
using unique_himagelist = unique_any<HIMAGELIST, &::ImageList_Destroy>;
using unique_hhook      = unique_any<HHOOK, &::UnhookWindowsHookEx>;
using unique_hmodule    = unique_any<HMODULE, &::FreeLibrary>;
using unique_view       = unique_any<void*, &::UnmapViewOfFile>;     // MapViewOfFile

// A device context taken with GetDC and given back with ReleaseDC.
class unique_window_dc {
public:
    explicit unique_window_dc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~unique_window_dc()
    {
        if (dc_) {
            DWORD error = GetLastError();
            ReleaseDC(window_, dc_);
            SetLastError(error);
        }
    }
    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a device context and puts the previous one back.
class select_object_scope {
public:
    select_object_scope(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~select_object_scope()
    {
        if (previous_ && previous_ != HGDI_ERROR) {
            DWORD error = GetLastError();
            SelectObject(dc_, previous_);
            SetLastError(error);
        }
    }
    select_object_scope(const select_object_scope&) = delete;
    select_object_scope& operator=(const select_object_scope&) = delete;

    bool selected() const noexcept { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};
