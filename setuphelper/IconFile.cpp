#include "setuphelper/IconFile.h"

#include "common/UniqueHandle.h"
#include "setuphelper/GrowOrThrow.h"

#include <string.h>

namespace {

struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

DWORD RowBytes(LONG width, WORD bitCount)
{
    return ((DWORD)width * bitCount + 31) / 32 * 4;
}

// Entries of the colour table that follows the header. A table of 8 bits
// per pixel or fewer whose biClrUsed is 0 is written in full (2^bits
// entries), as readers of icon files expect it.
DWORD ColorTableEntries(const BITMAPINFOHEADER& header)
{
    if (header.biBitCount > 8)
        return 0;
    DWORD full = 1u << header.biBitCount;
    return header.biClrUsed && header.biClrUsed < full ? header.biClrUsed : full;
}

// The bitmap's format as GetDIBits reports it, made bottom-up BI_RGB at
// BIT_COUNT (0: the bitmap's own depth).
bool QueryFormat(HDC dc, HBITMAP bitmap, WORD bitCount, DibInfo& info)
{
    memset(&info, 0, sizeof(info));
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    if (!GetDIBits(dc, bitmap, 0, 0, nullptr, (BITMAPINFO*)&info, DIB_RGB_COLORS))
        return false;
    BITMAPINFOHEADER& header = info.header;
    if (header.biWidth <= 0 || header.biHeight == 0)
        return false;
    if (header.biHeight < 0)
        header.biHeight = -header.biHeight;
    if (bitCount)
        header.biBitCount = bitCount;
    header.biPlanes = 1;
    header.biCompression = BI_RGB;
    header.biClrUsed = header.biBitCount <= 8 ? header.biClrUsed : 0;
    header.biSizeImage = RowBytes(header.biWidth, header.biBitCount) * header.biHeight;
    return true;
}

// Reads all rows of BITMAP in INFO's format; fills INFO's colour table too.
bool ReadBits(HDC dc, HBITMAP bitmap, DibInfo& info, std::vector<BYTE>& bits)
{
    bits.assign(info.header.biSizeImage, 0);
    int rows = GetDIBits(dc, bitmap, 0, info.header.biHeight, bits.data(), (BITMAPINFO*)&info,
                         DIB_RGB_COLORS);
    return rows == info.header.biHeight;
}

IconDirectoryEntry MakeEntry(const BITMAPINFOHEADER& colour, DWORD bytesInResource)
{
    IconDirectoryEntry entry = {};
    entry.width = (BYTE)colour.biWidth;
    entry.height = (BYTE)colour.biHeight;
    DWORD depth = (DWORD)colour.biPlanes * colour.biBitCount;
    entry.colorCount = depth < 8 ? (BYTE)(1u << depth) : 0;
    entry.planes = colour.biPlanes;
    entry.bitCount = colour.biBitCount;
    entry.bytesInResource = bytesInResource;
    return entry;
}

template <typename T>
void AppendBytes(std::vector<BYTE>& out, const T* data, size_t size)
{
    const BYTE* bytes = (const BYTE*)data;
    out.insert(out.end(), bytes, bytes + size);
}

// One image as the file holds it: the colour bitmap's header (its height
// doubled for the colour rows and the mask rows), its colour table, its bits
// and the mask's bits.
bool ReadImage(HBITMAP colourBitmap, HBITMAP maskBitmap, BITMAPINFOHEADER& format,
               std::vector<BYTE>& image)
{
    unique_hdc dc(CreateCompatibleDC(nullptr));
    DibInfo colour, mask;
    std::vector<BYTE> colourBits, maskBits;
    if (!dc || !QueryFormat(dc.get(), colourBitmap, 0, colour) ||
        !QueryFormat(dc.get(), maskBitmap, 1, mask) ||
        mask.header.biWidth != colour.header.biWidth ||
        mask.header.biHeight != colour.header.biHeight ||
        !ReadBits(dc.get(), colourBitmap, colour, colourBits) ||
        !ReadBits(dc.get(), maskBitmap, mask, maskBits))
        return false;
    format = colour.header;
    BITMAPINFOHEADER stored = colour.header;
    stored.biHeight *= 2;
    AppendBytes(image, &stored, sizeof(stored));
    AppendBytes(image, colour.colors, ColorTableEntries(colour.header) * sizeof(RGBQUAD));
    AppendBytes(image, colourBits.data(), colourBits.size());
    AppendBytes(image, maskBits.data(), maskBits.size());
    return true;
}

}  // namespace

bool IconFile::AddImage(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return false;
    unique_hbitmap colour(info.hbmColor);
    unique_hbitmap mask(info.hbmMask);
    return colour && mask && AddImage(colour.get(), mask.get());
}

bool IconFile::AddImage(HBITMAP colour, HBITMAP mask)
{
    BITMAPINFOHEADER format;
    std::vector<BYTE> image;
    if (!ReadImage(colour, mask, format, image))
        return false;
    AppendOrThrow(entries_, MakeEntry(format, (DWORD)image.size()));
    AppendOrThrow(images_, std::move(image));
    // Every image added moves the data of those before it by one entry.
    DWORD offset = sizeof(IconDirectoryHeader) + entries_.size() * sizeof(IconDirectoryEntry);
    for (IconDirectoryEntry& entry : entries_) {
        entry.imageOffset = offset;
        offset += entry.bytesInResource;
    }
    return true;
}

std::vector<BYTE> IconFile::Bytes() const
{
    IconDirectoryHeader header = {0, 1, (WORD)entries_.size()};
    std::vector<BYTE> file;
    AppendBytes(file, &header, sizeof(header));
    AppendBytes(file, entries_.data(), entries_.size() * sizeof(IconDirectoryEntry));
    for (const std::vector<BYTE>& image : images_)
        AppendBytes(file, image.data(), image.size());
    return file;
}

bool IconFile::Write(const char* path) const
{
    std::vector<BYTE> bytes = Bytes();
    unique_file file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    if (WriteFile(file.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr) &&
        written == bytes.size())
        return true;
    // A cut-off icon file must not be taken for a good one later.
    file.reset();
    DeleteFileA(path);
    return false;
}
