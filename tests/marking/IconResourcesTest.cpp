#include "common/IconComposer.h"
#include "common/UniqueHandle.h"
#include "tests/common/IconComposerPixels.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {  // one image of an icon group resource
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved, type, count;
};
#pragma pack(pop)

// (size, bits per pixel) of every image in icon group ID of this program.
std::set<std::pair<int, int>> GroupImages(int id)
{
    std::set<std::pair<int, int>> images;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_GROUP_ICON);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const BYTE* data = loaded ? (const BYTE*)LockResource(loaded) : nullptr;
    if (!data || SizeofResource(module, resource) < sizeof(GroupIconHeader))
        return images;
    const GroupIconHeader* header = (const GroupIconHeader*)data;
    if (SizeofResource(module, resource) < sizeof *header + header->count * sizeof(GroupIconEntry))
        return images;
    const GroupIconEntry* entries = (const GroupIconEntry*)(header + 1);
    for (WORD i = 0; i < header->count; ++i)
        images.insert({entries[i].width ? entries[i].width : 256, entries[i].bitCount});
    return images;
}

}  // namespace

TEST(IconResources, GroupsHoldEverySizeAndDepth)
{
    const std::set<std::pair<int, int>> overlay = {{48, 32}, {32, 32}, {16, 32}, {32, 8}, {16, 8}, {32, 4}, {16, 4}};
    EXPECT_EQ(overlay, GroupImages(IDI_OVERLAY));
    const std::set<std::pair<int, int>> program = {{48, 32}, {32, 32}, {16, 32}};
    for (int id : {IDI_PROGRAM, IDI_PROGRAM_SMALL, IDI_SETTINGS, IDI_SETTINGS_SMALL}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(program, GroupImages(id));
    }
}

// The badge sits in the bottom right corner and leaves the top left of the
// base alone, at every size the system loads it; it is opaque enough to read.
TEST(IconResources, OverlayBadgeCoversTheBottomRightCornerOnly)
{
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        unique_hicon badge((HICON)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_OVERLAY), IMAGE_ICON,
                                             size, size, LR_DEFAULTCOLOR));
        IconImage image;
        ASSERT_TRUE(ReadIconImage(badge.get(), &image));
        ASSERT_EQ(size, image.width);
        int opaque = 0, outside = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (image.Alpha(x, y) != 255)
                    continue;
                ++opaque;
                if (x < size / 3 || y < size / 4)
                    ++outside;
            }
        }
        EXPECT_EQ(0, outside);
        EXPECT_GE(opaque, size * size / 5);
        // Below the check the shield is green, and its mask agrees with its alpha.
        const int x = size - size * 3 / 10, y = size - 1 - size / 16;
        const DWORD green = image.Rgb(x, y);
        EXPECT_GT((green >> 8) & 0xFF, 2 * ((green >> 16) & 0xFF));
        EXPECT_GT((green >> 8) & 0xFF, 2 * (green & 0xFF));
        EXPECT_FALSE(image.Transparent(x, y));
        EXPECT_TRUE(image.Transparent(0, 0));
    }
}
