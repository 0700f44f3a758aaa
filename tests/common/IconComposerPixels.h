// Test icons made from pixel tables, and icons read back pixel by pixel
// through GetIconInfo and GetDIBits. Shared by the composition and the
// marking tests.
#pragma once

#include <windows.h>

#include "tests/support/TestPaths.h"

#include <functional>
#include <vector>

// 0xAARRGGBB, the byte order of a 32-bit DIB pixel in memory.
using PixelFunction = std::function<DWORD(int x, int y)>;
using MaskFunction = std::function<bool(int x, int y)>;  // true: transparent

// A colour icon whose colour bitmap is a DIB section of BITCOUNT bits per
// pixel (32, 24 or 16; below 32 the alpha byte of COLOR is dropped).
inline HICON MakeTestIcon(int width, int height, const PixelFunction& color, const MaskFunction& transparent,
                          WORD bitCount = 32)
{
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels((size_t)width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[(size_t)y * width + x] = color(x, y);

    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    format.bmiHeader.biBitCount = bitCount;
    HBITMAP colorBitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    format.bmiHeader.biBitCount = 32;
    if (colorBitmap)
        SetDIBits(screen, colorBitmap, 0, height, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);

    // CreateBitmap wants rows of whole 16-bit words.
    const int stride = (width + 15) / 16 * 2;
    std::vector<BYTE> maskBits((size_t)stride * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (transparent(x, y))
                maskBits[(size_t)y * stride + x / 8] |= (BYTE)(0x80 >> (x % 8));
    HBITMAP maskBitmap = CreateBitmap(width, height, 1, 1, maskBits.data());

    ICONINFO info = {TRUE, 0, 0, maskBitmap, colorBitmap};
    HICON icon = colorBitmap && maskBitmap ? CreateIconIndirect(&info) : nullptr;
    DeleteObject(colorBitmap);
    DeleteObject(maskBitmap);
    return icon;
}

// A monochrome icon: one mask bitmap of twice the height (AND over XOR).
inline HICON MakeMonochromeTestIcon(int width, int height)
{
    const int stride = (width + 15) / 16 * 2;
    std::vector<BYTE> bits((size_t)stride * height * 2, 0);
    for (int y = 0; y < height; ++y)  // AND half: transparent right half
        for (int x = width / 2; x < width; ++x)
            bits[(size_t)y * stride + x / 8] |= (BYTE)(0x80 >> (x % 8));
    HBITMAP mask = CreateBitmap(width, height * 2, 1, 1, bits.data());
    ICONINFO info = {TRUE, 0, 0, mask, nullptr};
    HICON icon = mask ? CreateIconIndirect(&info) : nullptr;
    DeleteObject(mask);
    return icon;
}

// An icon as the system hands it out, top row first.
struct IconImage {
    int width = 0;
    int height = 0;
    int colorBitsPerPixel = 0;  // 0 for a monochrome icon
    BOOL fIcon = FALSE;
    std::vector<DWORD> color;   // 0xAARRGGBB
    std::vector<DWORD> mask;    // 0x000000 opaque, 0xFFFFFF transparent

    DWORD Color(int x, int y) const { return color[(size_t)y * width + x]; }
    BYTE Alpha(int x, int y) const { return (BYTE)(Color(x, y) >> 24); }
    DWORD Rgb(int x, int y) const { return Color(x, y) & 0xFFFFFF; }
    bool Transparent(int x, int y) const { return (mask[(size_t)y * width + x] & 0xFFFFFF) != 0; }
};

inline bool ReadBitmapPixels(HBITMAP bitmap, int width, int height, std::vector<DWORD>* pixels)
{
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    pixels->assign((size_t)width * height, 0xdeadbeef);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, height, pixels->data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == height;
}

// Reads ICON's colour and mask bitmaps; false when GetIconInfo fails.
inline bool ReadIconImage(HICON icon, IconImage* image)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return false;
    BITMAP size = {};
    bool ok;
    if (info.hbmColor) {
        ok = GetObjectA(info.hbmColor, sizeof size, &size) == sizeof size;
        image->colorBitsPerPixel = size.bmBitsPixel;
        image->width = size.bmWidth;
        image->height = size.bmHeight;
        ok = ok && ReadBitmapPixels(info.hbmColor, size.bmWidth, size.bmHeight, &image->color) &&
             ReadBitmapPixels(info.hbmMask, size.bmWidth, size.bmHeight, &image->mask);
    } else {
        ok = GetObjectA(info.hbmMask, sizeof size, &size) == sizeof size;
        image->colorBitsPerPixel = 0;
        image->width = size.bmWidth;
        image->height = size.bmHeight / 2;
        ok = ok && ReadBitmapPixels(info.hbmMask, size.bmWidth, size.bmHeight, &image->mask);
    }
    image->fIcon = info.fIcon;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return ok;
}

// Bits per pixel of the screen.
inline int ScreenBitsPerPixel()
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits;
}

// The process's live GDI objects and USER objects.
struct GuiObjectCounts {
    DWORD gdi = 0;
    DWORD user = 0;
};

// WINE_GAP: Wine's GetGuiResources is a stub that reports 0. There the live
// objects are counted by probing the handle tables instead: a handle whose
// high word is 0 names its slot whatever the slot's generation, so every
// slot can be asked whether it holds a GDI object or an icon. (USER objects
// other than icons, windows above all, are not counted on Wine.)
inline GuiObjectCounts CountGuiObjects()
{
    GuiObjectCounts counts;
    if (!RunningOnWine()) {
        counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
        counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        return counts;
    }
    for (UINT_PTR slot = 0x20; slot < 0x20 + 0x4000; ++slot)
        if (GetObjectType((HGDIOBJ)slot))
            ++counts.gdi;
    for (UINT_PTR slot = 0x20; slot < 0x10000; slot += 2) {
        ICONINFO info;
        if (GetIconInfo((HICON)slot, &info)) {
            ++counts.user;
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }
    }
    return counts;
}
