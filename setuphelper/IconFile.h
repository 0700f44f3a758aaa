// An icon file (.ico) built in memory from icons, image by image, and
// written in one piece: the 6-byte header, one 16-byte directory entry per
// image, then each image's bitmap header, colour table, colour bits and mask.
#pragma once

#include <windows.h>

#include <vector>

#pragma pack(push, 2)
struct IconDirectoryHeader {
    WORD reserved;
    WORD type;   // 1: icon
    WORD count;
};

struct IconDirectoryEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    DWORD imageOffset;
};
#pragma pack(pop)

static_assert(sizeof(IconDirectoryHeader) == 6, "icon file header");
static_assert(sizeof(IconDirectoryEntry) == 16, "icon directory entry");

class IconFile {
public:
    // Adds the icon's colour image and mask; false (and nothing added) when
    // the icon has no colour bitmap or its bits cannot be read.
    bool AddImage(HICON icon);
    bool AddImage(HBITMAP colour, HBITMAP mask);

    // The whole file as it is written.
    std::vector<BYTE> Bytes() const;

    // Creates (or replaces) PATH; true only when every byte was written (a
    // file cut short by a failed write is removed).
    bool Write(const char* path) const;

private:
    std::vector<IconDirectoryEntry> entries_;
    std::vector<std::vector<BYTE>> images_;
};
