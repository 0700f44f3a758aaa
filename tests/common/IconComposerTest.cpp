#include "common/IconComposer.h"

#include "common/UniqueHandle.h"
#include "tests/common/IconComposerPixels.h"
#include "tests/support/TestPaths.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace {

const DWORD kRed = 0x00FF0000, kGreen = 0x0000FF00, kBlue = 0x000000FF;

// 32 x 32 without alpha: red and opaque (by its mask) in the left half,
// transparent in the right half.
HICON MakeBaseWithoutAlpha(int size = 32, DWORD color = kRed, WORD bitCount = 32)
{
    return MakeTestIcon(
        size, size, [=](int x, int) { return x < size / 2 ? color : 0; },
        [=](int x, int) { return x >= size / 2; }, bitCount);
}

// A blue bar over rows 20..27 of columns 12..27, with a soft row of alpha 128
// above it (row 19); transparent elsewhere. Its mask is opaque wherever its
// alpha is not 0.
HICON MakeSoftOverlay()
{
    auto inBar = [](int x, int y) { return x >= 12 && x < 28 && y >= 20 && y < 28; };
    auto inSoftRow = [](int x, int y) { return x >= 12 && x < 28 && y == 19; };
    return MakeTestIcon(
        32, 32,
        [=](int x, int y) -> DWORD {
            if (inBar(x, y))
                return 0xFF000000 | kBlue;
            return inSoftRow(x, y) ? 0x80000000 | kBlue : 0;
        },
        [=](int x, int y) { return !inBar(x, y) && !inSoftRow(x, y); });
}

// A 32 x 32 overlay whose opaque blue square fills its bottom right 8 x 8.
HICON MakeCornerOverlay()
{
    auto inCorner = [](int x, int y) { return x >= 24 && y >= 24; };
    return MakeTestIcon(
        32, 32, [=](int x, int y) { return inCorner(x, y) ? 0xFF000000 | kBlue : 0; },
        [=](int x, int y) { return !inCorner(x, y); });
}

bool ScreenHas32Bits()
{
    return ScreenBitsPerPixel() == 32;
}

// What one pixel of a composed icon must hold.
struct PixelExpectation {
    const char* where;
    int x, y;
    BYTE alpha;
    bool transparent;  // by the mask
};

template <size_t N>
void ExpectPixels(const IconImage& image, const PixelExpectation (&pixels)[N])
{
    for (const PixelExpectation& p : pixels) {
        SCOPED_TRACE(p.where);
        EXPECT_EQ(p.alpha, image.Alpha(p.x, p.y));
        EXPECT_EQ(p.transparent, image.Transparent(p.x, p.y));
    }
}

}  // namespace

TEST(IconComposer, MissingIconsComposeNothing)
{
    unique_hicon icon(MakeBaseWithoutAlpha());
    ASSERT_TRUE(icon);
    const struct {
        const char* name;
        HICON base;
        HICON overlay;
    } cases[] = {{"no base", nullptr, icon.get()}, {"no overlay", icon.get(), nullptr}, {"neither", nullptr, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nullptr, ComposeOverlayIcon(c.base, c.overlay, nullptr));
        EXPECT_EQ(nullptr, ComposeIconAlpha32(c.base, c.overlay, nullptr));
        EXPECT_EQ(nullptr, ComposeIconMerged(c.base, c.overlay));
    }
}

TEST(IconComposerAlpha32, BaseWithoutAlphaTurnsOpaqueByItsMaskAndTheOverlayKeepsItsSoftAlpha)
{
    if (!ScreenHas32Bits())
        GTEST_SKIP() << "needs a 32-bit screen";
    unique_hicon base(MakeBaseWithoutAlpha());
    unique_hicon overlay(MakeSoftOverlay());
    ASSERT_TRUE(base && overlay);

    unique_hicon composed(ComposeIconAlpha32(base.get(), overlay.get(), nullptr));
    ASSERT_TRUE(composed);
    IconImage image;
    ASSERT_TRUE(ReadIconImage(composed.get(), &image));
    EXPECT_EQ(32, image.width);
    EXPECT_EQ(32, image.height);
    EXPECT_EQ(32, image.colorBitsPerPixel);
    EXPECT_TRUE(image.fIcon);

    const PixelExpectation pixels[] = {
        {"base only, opaque by its mask", 4, 4, 255, false},
        {"base only, transparent", 24, 4, 0, true},
        {"overlay bar over the opaque base", 14, 24, 255, false},
        {"overlay bar over the transparent base", 24, 24, 255, false},
        {"soft overlay row over the transparent base", 20, 19, 128, false},
        // A soft overlay edge must not punch a hole into an opaque base.
        {"soft overlay row over the opaque base", 14, 19, 255, false},
        {"below the overlay, transparent base", 24, 30, 0, true},
    };
    ExpectPixels(image, pixels);
    EXPECT_EQ(kRed, image.Rgb(4, 4));
    EXPECT_EQ(kBlue, image.Rgb(14, 24));
    EXPECT_EQ(kBlue, image.Rgb(24, 24));
    // The soft row keeps its straight colour over the transparent base, and
    // over the red base it shows half red, half blue.
    EXPECT_EQ(0x80000000 | kBlue, image.Color(20, 19));
    const DWORD mixed = image.Rgb(14, 19);
    EXPECT_NEAR(127, (int)((mixed >> 16) & 0xFF), 1);
    EXPECT_EQ(0u, (mixed >> 8) & 0xFF);
    EXPECT_NEAR(128, (int)(mixed & 0xFF), 1);
}

TEST(IconComposerAlpha32, BaseWithAlphaKeepsItsTransparentPixelsWhateverItsMask)
{
    if (!ScreenHas32Bits())
        GTEST_SKIP() << "needs a 32-bit screen";
    // Opaque red in the left half, alpha 0 but an opaque mask in column 16,
    // transparent beyond: the mask of a scaled icon reaches past its alpha.
    unique_hicon base(MakeTestIcon(
        32, 32, [](int x, int) { return x < 16 ? 0xFF000000 | kRed : 0; }, [](int x, int) { return x > 16; }));
    unique_hicon overlay(MakeCornerOverlay());
    ASSERT_TRUE(base && overlay);

    unique_hicon composed(ComposeIconAlpha32(base.get(), overlay.get(), nullptr));
    IconImage image;
    ASSERT_TRUE(ReadIconImage(composed.get(), &image));
    EXPECT_EQ(0xFF000000 | kRed, image.Color(4, 4));
    EXPECT_EQ(0, image.Alpha(16, 4));
    EXPECT_EQ(0, image.Alpha(20, 4));
    EXPECT_EQ(0xFF000000 | kBlue, image.Color(28, 28));
}

TEST(IconComposerAlpha32, SmallerOverlayIsScaledToTheBaseAndSoIsItsMask)
{
    if (!ScreenHas32Bits())
        GTEST_SKIP() << "needs a 32-bit screen";
    unique_hicon base(MakeBaseWithoutAlpha(48, kGreen));
    unique_hicon overlay(MakeCornerOverlay());
    ASSERT_TRUE(base && overlay);

    unique_hicon composed(ComposeIconAlpha32(base.get(), overlay.get(), nullptr));
    ASSERT_TRUE(composed);
    IconImage image;
    ASSERT_TRUE(ReadIconImage(composed.get(), &image));
    ASSERT_EQ(48, image.width);
    ASSERT_EQ(48, image.height);

    // The overlay's 8 x 8 corner covers 12 x 12 pixels of the 48 x 48 result.
    const PixelExpectation pixels[] = {
        {"base", 10, 10, 255, false},
        {"scaled overlay corner", 37, 37, 255, false},
        {"scaled overlay corner, last pixel", 47, 47, 255, false},
        {"where the unscaled overlay would be", 30, 30, 0, true},
        {"beyond the overlay's own size", 40, 10, 0, true},
        {"beyond the overlay's own size, below", 30, 44, 0, true},
    };
    ExpectPixels(image, pixels);
    EXPECT_EQ(kGreen, image.Rgb(10, 10));
    EXPECT_EQ(kBlue, image.Rgb(42, 42));
}

TEST(IconComposerAlpha32, MonochromeBaseIsRefusedAndTheMergeTakesIt)
{
    unique_hicon base(MakeMonochromeTestIcon(32, 32));
    unique_hicon overlay(MakeCornerOverlay());
    ASSERT_TRUE(base && overlay);
    IconImage baseImage;
    ASSERT_TRUE(ReadIconImage(base.get(), &baseImage));
    ASSERT_EQ(0, baseImage.colorBitsPerPixel) << "the test icon must be monochrome";

    EXPECT_EQ(nullptr, ComposeIconAlpha32(base.get(), overlay.get(), nullptr));

    unique_hicon merged(ComposeIconMerged(base.get(), overlay.get()));
    ASSERT_TRUE(merged);
    IconImage image;
    ASSERT_TRUE(ReadIconImage(merged.get(), &image));
    ASSERT_EQ(32, image.width);
    ASSERT_EQ(32, image.height);
    EXPECT_FALSE(image.Transparent(4, 4));   // the base's black half
    EXPECT_TRUE(image.Transparent(20, 4));   // the base's transparent half
    EXPECT_FALSE(image.Transparent(28, 28)); // the overlay
    EXPECT_EQ(0u, image.Rgb(4, 4));
    EXPECT_EQ(kBlue, image.Rgb(28, 28));
}

// A base whose colour bitmap has fewer bits than the overlay's is drawn into
// the 32-bit working image like any other: the result is a 32-bit icon with
// the base made opaque by its mask.
TEST(IconComposerAlpha32, BaseOfAnotherDepthIsConvertedTo32Bits)
{
    if (!ScreenHas32Bits())
        GTEST_SKIP() << "needs a 32-bit screen";
    for (WORD bitCount : {16, 24}) {
        SCOPED_TRACE(bitCount);
        unique_hicon base(MakeBaseWithoutAlpha(32, kRed, bitCount));
        unique_hicon overlay(MakeCornerOverlay());
        ASSERT_TRUE(base && overlay);

        unique_hicon composed(ComposeIconAlpha32(base.get(), overlay.get(), nullptr));
        ASSERT_TRUE(composed);
        IconImage image;
        ASSERT_TRUE(ReadIconImage(composed.get(), &image));
        EXPECT_EQ(32, image.colorBitsPerPixel);
        EXPECT_EQ(255, image.Alpha(4, 4));
        EXPECT_GE((image.Rgb(4, 4) >> 16) & 0xFF, 0xF0u);
        EXPECT_EQ(0, image.Alpha(20, 4));
        EXPECT_TRUE(image.Transparent(20, 4));
        EXPECT_EQ(0xFF000000 | kBlue, image.Color(28, 28));
    }
}

TEST(IconComposer, ThirtyTwoBitScreenBlendsThroughTheAlphaMethod)
{
    if (!ScreenHas32Bits())
        GTEST_SKIP() << "needs a 32-bit screen";
    unique_hicon base(MakeBaseWithoutAlpha());
    unique_hicon overlay(MakeSoftOverlay());
    ASSERT_TRUE(base && overlay);
    unique_hicon viaScreen(ComposeOverlayIcon(base.get(), overlay.get(), nullptr));
    unique_hicon viaAlpha(ComposeIconAlpha32(base.get(), overlay.get(), nullptr));
    IconImage screenImage, alphaImage;
    ASSERT_TRUE(ReadIconImage(viaScreen.get(), &screenImage));
    ASSERT_TRUE(ReadIconImage(viaAlpha.get(), &alphaImage));
    EXPECT_EQ(alphaImage.color, screenImage.color);
    EXPECT_EQ(alphaImage.mask, screenImage.mask);

    // Working from a window's DC gives the same icon.
    unique_hicon viaWindow(ComposeIconAlpha32(base.get(), overlay.get(), GetDesktopWindow()));
    IconImage windowImage;
    ASSERT_TRUE(ReadIconImage(viaWindow.get(), &windowImage));
    EXPECT_EQ(alphaImage.color, windowImage.color);
    EXPECT_EQ(alphaImage.mask, windowImage.mask);

    // A monochrome base has nothing the alpha method can blend.
    unique_hicon monochrome(MakeMonochromeTestIcon(32, 32));
    EXPECT_EQ(nullptr, ComposeOverlayIcon(monochrome.get(), overlay.get(), nullptr));
}

// Run by the depth-16 ctest entry in a Wine world whose screen has 16 bits;
// the session says so in the environment, and the cases below would only
// skip if the screen had another depth.
TEST(IconComposerDepth16, SessionAskedForSixteenBitsGetsThem)
{
    char depth[8] = "";
    if (!GetEnvironmentVariableA("QUILLET_SCREEN_DEPTH", depth, sizeof depth) || lstrcmpA(depth, "16") != 0)
        GTEST_SKIP() << "not a depth-16 session";
    EXPECT_EQ(16, ScreenBitsPerPixel());
}

TEST(IconComposerDepth16, OtherScreenDepthsUseTheImageListMerge)
{
    if (ScreenBitsPerPixel() != 16)
        GTEST_SKIP() << "needs a 16-bit screen (QUILLET_SCREEN_DEPTH=16)";
    unique_hicon base(MakeBaseWithoutAlpha());
    unique_hicon overlay(MakeCornerOverlay());
    ASSERT_TRUE(base && overlay);

    unique_hicon viaScreen(ComposeOverlayIcon(base.get(), overlay.get(), nullptr));
    unique_hicon viaMerge(ComposeIconMerged(base.get(), overlay.get()));
    IconImage screenImage, mergeImage;
    ASSERT_TRUE(ReadIconImage(viaScreen.get(), &screenImage));
    ASSERT_TRUE(ReadIconImage(viaMerge.get(), &mergeImage));
    EXPECT_EQ(mergeImage.color, screenImage.color);
    EXPECT_EQ(mergeImage.mask, screenImage.mask);
    EXPECT_EQ(kRed, screenImage.Rgb(4, 4));
    EXPECT_EQ(kBlue, screenImage.Rgb(28, 28));
    EXPECT_FALSE(screenImage.Transparent(28, 28));
    EXPECT_TRUE(screenImage.Transparent(20, 4));

    // The monochrome base that the alpha method refuses is merged here.
    unique_hicon monochrome(MakeMonochromeTestIcon(32, 32));
    unique_hicon merged(ComposeOverlayIcon(monochrome.get(), overlay.get(), nullptr));
    IconImage image;
    ASSERT_TRUE(ReadIconImage(merged.get(), &image));
    EXPECT_FALSE(image.Transparent(4, 4));
    EXPECT_TRUE(image.Transparent(20, 4));
    EXPECT_EQ(kBlue, image.Rgb(28, 28));
}

TEST(IconComposer, ThousandCompositionsLeaveNoGdiOrUserObjectsBehind)
{
    unique_hicon base(MakeBaseWithoutAlpha(48, kGreen));
    unique_hicon overlay(MakeSoftOverlay());
    unique_hicon monochrome(MakeMonochromeTestIcon(32, 32));
    ASSERT_TRUE(base && overlay && monochrome);
    // One round first: the image lists and DIB code may keep caches of their own.
    DestroyIcon(ComposeOverlayIcon(base.get(), overlay.get(), nullptr));
    DestroyIcon(ComposeIconMerged(base.get(), overlay.get()));

    const GuiObjectCounts before = CountGuiObjects();
    for (int i = 0; i < 1000; ++i) {
        HICON composed = ComposeOverlayIcon(base.get(), overlay.get(), nullptr);
        ASSERT_TRUE(composed) << "round " << i;
        ASSERT_TRUE(DestroyIcon(composed));
        // The refusal path releases what it took as well.
        ASSERT_EQ(nullptr, ComposeIconAlpha32(monochrome.get(), overlay.get(), nullptr));
        if (i % 10 == 0) {
            HICON merged = ComposeIconMerged(base.get(), overlay.get());
            ASSERT_TRUE(merged) << "round " << i;
            ASSERT_TRUE(DestroyIcon(merged));
        }
    }
    const GuiObjectCounts after = CountGuiObjects();
    EXPECT_EQ(before.gdi, after.gdi);
    EXPECT_EQ(before.user, after.user);
    EXPECT_GT(before.gdi, 0u) << "the count must see the test's own objects";
    EXPECT_GT(before.user, 0u);
    if (RunningOnWine()) {
        // WINE_GAP: GetGuiResources is a stub on Wine; CountGuiObjects probes instead.
        EXPECT_EQ(0u, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
        EXPECT_EQ(0u, GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    }
}
