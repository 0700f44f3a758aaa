#include "setuphelper/IconFile.h"
#include "tests/setuphelper/PellowLibrary.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"

#include "common/UniqueHandle.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <string.h>

namespace {

std::string SystemFile(const char* name)
{
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + name;
}

std::vector<BYTE> ReadWholeFile(const std::string& path)
{
    std::string text;
    if (!ReadFileText(path, text))
        text.clear();
    return std::vector<BYTE>(text.begin(), text.end());
}

template <typename T>
T Read(const std::vector<BYTE>& file, size_t offset)
{
    T value = {};
    if (offset + sizeof(T) <= file.size())
        memcpy(&value, file.data() + offset, sizeof(T));
    return value;
}

DWORD RowBytes(DWORD width, DWORD bits)
{
    return (width * bits + 31) / 32 * 4;
}

int ScreenBitsPerPixel()
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits;
}

// Checks one image of the file against its directory entry and the size it
// must have; returns whether any alpha byte of a 32-bit image is non-zero.
bool CheckImage(const std::vector<BYTE>& file, const IconDirectoryEntry& entry, int size)
{
    EXPECT_EQ(size, entry.width);
    EXPECT_EQ(size, entry.height);
    BITMAPINFOHEADER header = Read<BITMAPINFOHEADER>(file, entry.imageOffset);
    EXPECT_EQ(40u, header.biSize);
    EXPECT_EQ(size, header.biWidth);
    EXPECT_EQ(2 * size, header.biHeight);
    EXPECT_EQ(entry.planes, header.biPlanes);
    EXPECT_EQ(entry.bitCount, header.biBitCount);
    EXPECT_EQ((DWORD)BI_RGB, header.biCompression);
    DWORD table = header.biBitCount <= 8 ? 4u << header.biBitCount : 0;
    DWORD colour = RowBytes(size, header.biBitCount) * size;
    EXPECT_EQ(40 + table + colour + RowBytes(size, 1) * size, entry.bytesInResource);
    bool alpha = false;
    for (DWORD i = 3; header.biBitCount == 32 && i < colour; i += 4)
        alpha |= Read<BYTE>(file, entry.imageOffset + 40 + i) != 0;
    return alpha;
}

class IconExport : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Pellow().createIconM); }

    const std::string shell32 = SystemFile("shell32.dll");
    const TestFile outputFile = TestFile::InTemp("pellow-export");
    const std::string& output = outputFile.path();
};

TEST_F(IconExport, LargeThenSmallImageAsTheDirectorySays)
{
    ASSERT_TRUE(Pellow().createIconM(shell32.c_str(), shell32.c_str(), output.c_str(), 3));
    std::vector<BYTE> file = ReadWholeFile(output);
    ASSERT_GE(file.size(), 38u);
    EXPECT_EQ(0, Read<WORD>(file, 0));
    EXPECT_EQ(1, Read<WORD>(file, 2));
    EXPECT_EQ(2, Read<WORD>(file, 4));
    IconDirectoryEntry large = Read<IconDirectoryEntry>(file, 6);
    IconDirectoryEntry small = Read<IconDirectoryEntry>(file, 22);
    EXPECT_EQ(38u, large.imageOffset);
    EXPECT_EQ(large.imageOffset + large.bytesInResource, small.imageOffset);
    EXPECT_EQ(small.imageOffset + small.bytesInResource, file.size());
    {
        SCOPED_TRACE("large");
        bool alpha = CheckImage(file, large, GetSystemMetrics(SM_CXICON));
        // Images come at the screen's depth; only 32 bits carry alpha.
        EXPECT_EQ(ScreenBitsPerPixel(), large.bitCount);
        EXPECT_EQ(ScreenBitsPerPixel() == 32, alpha);
    }
    {
        SCOPED_TRACE("small");
        bool alpha = CheckImage(file, small, GetSystemMetrics(SM_CXSMICON));
        // Images come at the screen's depth; only 32 bits carry alpha.
        EXPECT_EQ(ScreenBitsPerPixel(), small.bitCount);
        EXPECT_EQ(ScreenBitsPerPixel() == 32, alpha);
    }

    // The shell reads the file back as an icon of both sizes.
    unique_hicon readLarge, readSmall;
    EXPECT_NE(0u, ExtractIconExA(output.c_str(), 0, readLarge.put(), readSmall.put(), 1));
    EXPECT_TRUE(readLarge);
    EXPECT_TRUE(readSmall);
}

TEST_F(IconExport, NothingToComposeOrNowhereToWriteGivesFalse)
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string missing = TestModuleDirectory() + "PellowNoSuchFile.dll";
    const std::string noIcons = BuiltBinary("Pellow.dll");
    const std::string unwritable = std::string(folder) + "PellowNoSuchFolder\\out.ico";
    struct {
        const char* what;
        std::string base, overlay, path;
        int index;
        bool writesNothing;
    } cases[] = {
        {"missing base", missing, shell32, output, 0, true},
        {"base without icons", noIcons, shell32, output, 0, true},
        {"missing overlay", shell32, missing, output, 0, true},
        {"overlay index beyond the file's icons", shell32, shell32, output, 100000, true},
        {"folder that does not exist", shell32, shell32, unwritable, 0, false},
        {"a folder as the output", shell32, shell32, folder, 0, false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        EXPECT_FALSE(Pellow().createIconM(item.base.c_str(), item.overlay.c_str(), item.path.c_str(),
                                          item.index));
        if (item.writesNothing) {
            EXPECT_FALSE(outputFile.Exists());
        }
    }
}

}  // namespace
