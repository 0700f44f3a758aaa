#include "setuphelper/IconFile.h"

#include "common/UniqueHandle.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

DWORD RowBytes(DWORD width, DWORD bits)
{
    return (width * bits + 31) / 32 * 4;
}

// A DIB section of WIDTH x HEIGHT at BITS per pixel; a palette of
// distinct colours when BITS is 8 or fewer; pixel bytes set by pattern.
HBITMAP MakeDib(LONG width, LONG height, WORD bits)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info = {};
    info.header = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i)
        info.colors[i] = {(BYTE)i, (BYTE)(255 - i), (BYTE)(i * 7), 0};
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, (BITMAPINFO*)&info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bitmap) {
        BYTE* bytes = (BYTE*)pixels;
        for (DWORD i = 0; i < RowBytes(width, bits) * height; ++i)
            bytes[i] = (BYTE)(i * 13 + 5);
    }
    return bitmap;
}

template <typename T>
T Read(const std::vector<BYTE>& file, size_t offset)
{
    T value;
    memcpy(&value, file.data() + offset, sizeof(T));
    return value;
}

TEST(IconFile, PaletteImageCarriesItsFullColourTable)
{
    for (WORD bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        unique_hbitmap colour(MakeDib(16, 16, bits));
        unique_hbitmap mask(MakeDib(16, 16, 1));
        ASSERT_TRUE(colour && mask);
        IconFile icon;
        ASSERT_TRUE(icon.AddImage(colour.get(), mask.get()));
        std::vector<BYTE> file = icon.Bytes();

        const DWORD entries = 1u << bits;
        const DWORD colourBytes = RowBytes(16, bits) * 16, maskBytes = RowBytes(16, 1) * 16;
        const DWORD imageBytes = 40 + 4 * entries + colourBytes + maskBytes;
        ASSERT_EQ(6 + 16 + imageBytes, file.size());
        IconDirectoryEntry entry = Read<IconDirectoryEntry>(file, 6);
        EXPECT_EQ(16, entry.width);
        EXPECT_EQ(16, entry.height);
        EXPECT_EQ(bits < 8 ? entries : 0u, entry.colorCount);
        EXPECT_EQ(1, entry.planes);
        EXPECT_EQ(bits, entry.bitCount);
        EXPECT_EQ(imageBytes, entry.bytesInResource);
        EXPECT_EQ(22u, entry.imageOffset);

        BITMAPINFOHEADER header = Read<BITMAPINFOHEADER>(file, 22);
        EXPECT_EQ(40u, header.biSize);
        EXPECT_EQ(32, header.biHeight);
        EXPECT_EQ(bits, header.biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, header.biCompression);
        // The table and the pixels are the bitmap's own.
        for (DWORD i = 0; i < entries; ++i) {
            RGBQUAD color = Read<RGBQUAD>(file, 62 + 4 * i);
            ASSERT_EQ((BYTE)i, color.rgbBlue) << "entry " << i;
            ASSERT_EQ((BYTE)(255 - i), color.rgbGreen) << "entry " << i;
        }
        const size_t pixels = 62 + 4 * entries;
        const DWORD used = (16 * bits + 7) / 8;  // a row's bytes before its padding
        for (DWORD i = 0; i < colourBytes; ++i) {
            if (i % RowBytes(16, bits) < used) {
                ASSERT_EQ((BYTE)(i * 13 + 5), file[pixels + i]) << "colour byte " << i;
            }
        }
    }
}

TEST(IconFile, AddingAnImageMovesTheEarlierImagesData)
{
    unique_hbitmap large(MakeDib(32, 32, 32)), largeMask(MakeDib(32, 32, 1));
    unique_hbitmap small(MakeDib(16, 16, 32)), smallMask(MakeDib(16, 16, 1));
    IconFile icon;
    ASSERT_TRUE(icon.AddImage(large.get(), largeMask.get()));
    EXPECT_EQ(22u, Read<IconDirectoryEntry>(icon.Bytes(), 6).imageOffset);
    ASSERT_TRUE(icon.AddImage(small.get(), smallMask.get()));
    std::vector<BYTE> file = icon.Bytes();

    IconDirectoryEntry first = Read<IconDirectoryEntry>(file, 6);
    IconDirectoryEntry second = Read<IconDirectoryEntry>(file, 22);
    EXPECT_EQ(2, Read<WORD>(file, 4));
    EXPECT_EQ(38u, first.imageOffset);
    EXPECT_EQ(40u + 32 * 32 * 4 + 4 * 32, first.bytesInResource);
    EXPECT_EQ(first.imageOffset + first.bytesInResource, second.imageOffset);
    EXPECT_EQ(40u + 16 * 16 * 4 + 4 * 16, second.bytesInResource);
    EXPECT_EQ(second.imageOffset + second.bytesInResource, file.size());
    EXPECT_EQ(0, first.colorCount);
    EXPECT_EQ(32, Read<BITMAPINFOHEADER>(file, second.imageOffset).biHeight);
}

TEST(IconFile, MaskOfAnotherSizeIsRefused)
{
    unique_hbitmap colour(MakeDib(32, 32, 32)), mask(MakeDib(16, 16, 1));
    IconFile icon;
    EXPECT_FALSE(icon.AddImage(colour.get(), mask.get()));
    EXPECT_EQ(6u, icon.Bytes().size());
}

TEST(IconFile, WriteReportsAPathThatCannotBeCreated)
{
    unique_hbitmap colour(MakeDib(16, 16, 32)), mask(MakeDib(16, 16, 1));
    IconFile icon;
    ASSERT_TRUE(icon.AddImage(colour.get(), mask.get()));
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    EXPECT_FALSE(icon.Write((std::string(folder) + "PellowNoSuchFolder\\out.ico").c_str()));
    EXPECT_FALSE(icon.Write(folder));  // a folder, not a file

    TestFile written = TestFile::InTemp("pellow-iconfile");
    ASSERT_TRUE(icon.Write(written.path().c_str()));
    std::string bytes;
    ASSERT_TRUE(ReadFileText(written.path(), bytes));
    std::vector<BYTE> expected = icon.Bytes();
    EXPECT_EQ(std::string(expected.begin(), expected.end()), bytes);
}

}  // namespace
