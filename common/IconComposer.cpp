#include "common/IconComposer.h"

#include "common/UniqueHandle.h"

#include <commctrl.h>
#include <new>
#include <optional>
#include <vector>

namespace {

// The two bitmaps GetIconInfo hands out; they belong to the caller of
// GetIconInfo and are deleted with this object.
struct IconBitmaps {
    ICONINFO info = {};
    unique_hbitmap color;
    unique_hbitmap mask;

    bool Read(HICON icon)
    {
        if (!icon || !GetIconInfo(icon, &info))
            return false;
        color.reset(info.hbmColor);
        mask.reset(info.hbmMask);
        return true;
    }
};

bool BitmapSize(HBITMAP bitmap, BITMAP* size)
{
    return bitmap && GetObjectA(bitmap, sizeof *size, size) == sizeof *size;
}

// An empty image list of one size; ReplaceIcon draws each icon scaled to it.
unique_himagelist ListOfIcons(int width, int height, int capacity)
{
    return unique_himagelist(ImageList_Create(width, height, ILC_COLORDDB | ILC_MASK, capacity, 0));
}

// A bottom-up DIB section selected into a memory DC of its own, with direct
// access to its pixels. The previous selection is put back before the bitmap
// and the DC go.
class Surface {
public:
    Surface() = default;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    ~Surface() { Deselect(); }

    bool Create(HDC reference, int width, int height, WORD bitCount)
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];  // black then white, read only at one bit per pixel
        } format = {};
        format.header.biSize = sizeof format.header;
        format.header.biWidth = width;
        format.header.biHeight = height;
        format.header.biPlanes = 1;
        format.header.biBitCount = bitCount;
        format.header.biCompression = BI_RGB;
        format.header.biSizeImage = bitCount == 32 ? width * height * 4 : 0;
        format.colors[1] = RGBQUAD{255, 255, 255, 0};

        dc_.reset(CreateCompatibleDC(reference));
        if (!dc_)
            return false;
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(dc_.get(), (BITMAPINFO*)&format, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap_)
            return false;
        bits_ = (BYTE*)bits;
        previous_ = SelectObject(dc_.get(), bitmap_.get());
        return previous_ && previous_ != HGDI_ERROR;
    }

    void Deselect()
    {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_.get(), previous_);
        previous_ = nullptr;
    }

    HDC dc() const { return dc_.get(); }
    HBITMAP bitmap() const { return bitmap_.get(); }
    BYTE* bits() const { return bits_; }

private:
    unique_hdc dc_;
    unique_hbitmap bitmap_;
    BYTE* bits_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Copies SOURCE (of SOURCE_WIDTH x SOURCE_HEIGHT) onto the whole of TARGET
// (WIDTH x HEIGHT), scaled the way the image list scales an icon, so that the
// overlay's colour and mask stay pixel for pixel on the overlay it draws.
bool CopyScaled(HDC scratch, HBITMAP source, int sourceWidth, int sourceHeight, const Surface& target,
                int width, int height)
{
    select_object_scope selected(scratch, source);
    if (!selected.selected())
        return false;
    if (sourceWidth == width && sourceHeight == height)
        return BitBlt(target.dc(), 0, 0, width, height, scratch, 0, 0, SRCCOPY) != FALSE;
    SetStretchBltMode(target.dc(), COLORONCOLOR);
    return StretchBlt(target.dc(), 0, 0, width, height, scratch, 0, 0, sourceWidth, sourceHeight,
                      SRCCOPY) != FALSE;
}

// A mask pixel copied into a 32-bit surface is black where the icon is opaque.
bool MaskOpaque(const BYTE* pixel)
{
    return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
}

// Image lists draw an icon without alpha through its mask and leave the alpha
// bytes 0: the base is made opaque wherever its own mask says so. A base that
// brought alpha of its own keeps it: its mask is often opaque a pixel beyond
// its soft edge (a scaled-down icon's always is), and those pixels would turn
// into a black rim.
void RepairBaseAlpha(BYTE* result, const BYTE* baseMask, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i)
        if (result[i * 4 + 3] != 0)
            return;
    for (size_t i = 0; i < pixels; ++i) {
        BYTE* pixel = result + i * 4;
        if (pixel[3] == 0 && MaskOpaque(baseMask + i * 4))
            pixel[3] = 255;
    }
}

// Where the overlay is opaque by its mask it is laid over the base the way
// alpha means: its own alpha (255 when it has none) over the base's, its
// straight colour and the base's mixed by those weights. The image list drew
// it through its mask, which loses both: a soft edge would come out with its
// colour premultiplied, and would replace an opaque base instead of covering
// part of it. Around the overlay the mask's AND has cleared the alpha bytes:
// those pixels get the base's alpha back.
void LayOverlay(BYTE* result, const std::vector<BYTE>& base, const BYTE* overlayColor, const BYTE* overlayMask,
                size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i) {
        BYTE* out = result + i * 4;
        const BYTE* under = &base[i * 4];
        if (!MaskOpaque(overlayMask + i * 4)) {
            out[3] = under[3];
            continue;
        }
        const BYTE* over = overlayColor + i * 4;
        const unsigned overWeight = over[3] ? over[3] : 255;
        const unsigned underWeight = (under[3] * (255 - overWeight) + 127) / 255;
        const unsigned total = overWeight + underWeight;
        for (int channel = 0; channel < 3; ++channel)
            out[channel] = (BYTE)((over[channel] * overWeight + under[channel] * underWeight + total / 2) / total);
        out[3] = (BYTE)total;
    }
}

// The working surfaces of one 32-bit composition, all of the base's size.
struct Alpha32Work {
    Surface result;       // A: the composed colour image
    Surface baseMask;     // B
    Surface overlayColor; // C, scaled to the base's size
    Surface overlayMask;  // D, scaled to the base's size
    Surface newMask;      // one bit per pixel: opaque where either icon is
    unique_hdc scratch;   // source DC for the copies

    bool Create(HDC reference, int width, int height)
    {
        scratch.reset(CreateCompatibleDC(reference));
        return scratch && result.Create(reference, width, height, 32) &&
               baseMask.Create(reference, width, height, 32) &&
               overlayColor.Create(reference, width, height, 32) &&
               overlayMask.Create(reference, width, height, 32) &&
               newMask.Create(reference, width, height, 1);
    }
};

bool BlendInto(Alpha32Work& work, const IconBitmaps& base, const IconBitmaps& overlay, HIMAGELIST baseList,
               HIMAGELIST overlayList, const BITMAP& baseSize, const BITMAP& overlaySize)
{
    const int width = baseSize.bmWidth, height = baseSize.bmHeight;
    const size_t pixels = (size_t)width * height;
    if (!CopyScaled(work.scratch.get(), base.mask.get(), width, height, work.baseMask, width, height) ||
        !CopyScaled(work.scratch.get(), overlay.mask.get(), overlaySize.bmWidth, overlaySize.bmHeight,
                    work.overlayMask, width, height) ||
        !CopyScaled(work.scratch.get(), overlay.color.get(), overlaySize.bmWidth, overlaySize.bmHeight,
                    work.overlayColor, width, height))
        return false;
    GdiFlush();  // the pixel passes read the DIB memory directly

    if (!ImageList_Draw(baseList, 0, work.result.dc(), 0, 0, ILD_NORMAL))
        return false;
    GdiFlush();
    RepairBaseAlpha(work.result.bits(), work.baseMask.bits(), pixels);
    std::vector<BYTE> basePixels;
    try {
        basePixels.assign(work.result.bits(), work.result.bits() + pixels * 4);
    } catch (const std::bad_alloc&) {
        return false;  // composition fails quietly, in Pellow's exports as well
    }

    if (!ImageList_Draw(overlayList, 0, work.result.dc(), 0, 0, ILD_NORMAL))
        return false;
    GdiFlush();
    LayOverlay(work.result.bits(), basePixels, work.overlayColor.bits(), work.overlayMask.bits(), pixels);
    return true;
}

// The new mask is opaque wherever either icon is: the base mask ANDed with
// the (already scaled) overlay mask.
bool CombineMasks(Alpha32Work& work, const IconBitmaps& base, int width, int height)
{
    select_object_scope selected(work.scratch.get(), base.mask.get());
    return selected.selected() &&
           BitBlt(work.newMask.dc(), 0, 0, width, height, work.scratch.get(), 0, 0, SRCCOPY) &&
           BitBlt(work.newMask.dc(), 0, 0, width, height, work.overlayMask.dc(), 0, 0, SRCAND);
}

}  // namespace

HICON ComposeOverlayIcon(HICON base, HICON overlay, HWND window)
{
    int bitsPerPixel;
    {
        unique_window_dc dc(window);
        bitsPerPixel = dc ? GetDeviceCaps(dc.get(), BITSPIXEL) : 0;
    }
    if (bitsPerPixel == 32)
        return ComposeIconAlpha32(base, overlay, window);
    return ComposeIconMerged(base, overlay);
}

HICON ComposeIconMerged(HICON base, HICON overlay)
{
    IconBitmaps baseBitmaps;
    if (!overlay || !baseBitmaps.Read(base))
        return nullptr;
    // A monochrome icon has no colour bitmap: its mask holds the AND and XOR
    // halves one above the other.
    BITMAP size;
    if (baseBitmaps.color ? !BitmapSize(baseBitmaps.color.get(), &size)
                          : !BitmapSize(baseBitmaps.mask.get(), &size))
        return nullptr;
    if (!baseBitmaps.color)
        size.bmHeight /= 2;

    unique_himagelist list = ListOfIcons(size.bmWidth, size.bmHeight, 2);
    if (!list || ImageList_ReplaceIcon(list.get(), -1, base) != 0 ||
        ImageList_ReplaceIcon(list.get(), -1, overlay) != 1)
        return nullptr;
    unique_himagelist merged(ImageList_Merge(list.get(), 0, list.get(), 1, 0, 0));
    if (!merged)
        return nullptr;
    return ImageList_GetIcon(merged.get(), 0, ILD_NORMAL);
}

HICON ComposeIconAlpha32(HICON base, HICON overlay, HWND window)
{
    IconBitmaps baseBitmaps, overlayBitmaps;
    if (!baseBitmaps.Read(base) || !overlayBitmaps.Read(overlay))
        return nullptr;
    BITMAP baseSize, overlaySize;
    if (!BitmapSize(baseBitmaps.color.get(), &baseSize) || !BitmapSize(overlayBitmaps.color.get(), &overlaySize))
        return nullptr;  // a monochrome icon has no colour to blend
    if (baseSize.bmBitsPixel != 32 && overlaySize.bmBitsPixel != 32)
        return nullptr;
    // A base of another depth is drawn by its image list into the 32-bit
    // working surface like any other, so the passes always see 4 bytes a pixel.

    const int width = baseSize.bmWidth, height = baseSize.bmHeight;
    unique_himagelist baseList = ListOfIcons(width, height, 1);
    unique_himagelist overlayList = ListOfIcons(width, height, 1);
    if (!baseList || !overlayList || ImageList_ReplaceIcon(baseList.get(), -1, base) != 0 ||
        ImageList_ReplaceIcon(overlayList.get(), -1, overlay) != 0)
        return nullptr;

    // The memory DCs follow the window's DC when there is a window, else the screen.
    std::optional<unique_window_dc> windowDc;
    if (window && !windowDc.emplace(window))
        return nullptr;
    HDC reference = windowDc ? windowDc->get() : nullptr;
    Alpha32Work work;
    if (!work.Create(reference, width, height) ||
        !BlendInto(work, baseBitmaps, overlayBitmaps, baseList.get(), overlayList.get(), baseSize, overlaySize) ||
        !CombineMasks(work, baseBitmaps, width, height))
        return nullptr;

    // CreateIconIndirect copies the bitmaps; they must not be selected anywhere.
    work.result.Deselect();
    work.newMask.Deselect();
    ICONINFO composed = baseBitmaps.info;
    composed.hbmColor = work.result.bitmap();
    composed.hbmMask = work.newMask.bitmap();
    return CreateIconIndirect(&composed);
}
