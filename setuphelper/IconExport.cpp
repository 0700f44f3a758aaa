// "CreateIconM": writes an icon file whose two images (large, then small)
// show a file's first icon with another file's icon drawn over it.
#include "setuphelper/PellowExports.h"

#include "common/IconComposer.h"
#include "common/UniqueHandle.h"
#include "setuphelper/GrowOrThrow.h"
#include "setuphelper/IconFile.h"

#include <shellapi.h>

#include <climits>

namespace {

struct IconPair {
    unique_hicon large;
    unique_hicon small;
};

// ExtractIconExA gives each icon at the system's large and small sizes.
bool ExtractIconPair(LPCSTR file, int index, IconPair& icons)
{
    UINT extracted = ExtractIconExA(file, index, icons.large.put(), icons.small.put(), 1);
    return extracted != 0 && extracted != UINT_MAX && (icons.large || icons.small);
}

BOOL WriteComposedIcon(LPCSTR baseFile, LPCSTR overlayFile, LPCSTR outputPath, int overlayIndex)
{
    IconPair base, overlay;
    if (!ExtractIconPair(baseFile, 0, base) || !ExtractIconPair(overlayFile, overlayIndex, overlay))
        return FALSE;
    unique_hicon large(ComposeOverlayIcon(base.large.get(), overlay.large.get(), nullptr));
    unique_hicon small(ComposeOverlayIcon(base.small.get(), overlay.small.get(), nullptr));
    if (!large || !small)
        return FALSE;
    IconFile file;
    return file.AddImage(large.get()) && file.AddImage(small.get()) && file.Write(outputPath);
}

}  // namespace

extern "C" BOOL WINAPI CreateIconM(LPCSTR baseFile, LPCSTR overlayFile, LPCSTR outputPath,
                                   int overlayIndex)
{
    if (!baseFile || !overlayFile || !outputPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return GuardExport(FALSE, [=] {
        return WriteComposedIcon(baseFile, overlayFile, outputPath, overlayIndex);
    });
}
