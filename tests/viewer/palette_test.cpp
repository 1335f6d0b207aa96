// Palette files: the swatch picture, and what is not a palette.
#include <gtest/gtest.h>
#include <palette.h>

#include "picture_util.h"

namespace {

TEST(Palette, SwatchesInRowsOfSixteen) {
    Bytes pal = RampPalette();  // entry i: (i, 255 - i, i / 2, 0)
    pal[4 * 17 + 3] = 0xFF;     // the fourth byte is ignored
    PreviewPicture picture;
    ASSERT_TRUE(RenderPaletteSwatches(pal.data(), uint32_t(pal.size()), &picture));
    EXPECT_EQ(picture.width, 257);
    EXPECT_EQ(picture.height, -257);  // top row first
    auto at = [&](int x, int y) {
        const uint8_t* p = picture.pixels + size_t(y) * picture.stride + 3 * x;
        return Bytes{p[0], p[1], p[2]};
    };
    const Bytes grid = {128, 128, 128};
    const struct {
        int x, y;
        Bytes bgr;
    } cases[] = {
        {0, 0, grid},
        {16, 5, grid},
        {5, 16, grid},
        {256, 256, grid},
        {256, 1, grid},
        {1, 1, {0, 255, 0}},        // entry 0
        {15, 15, {0, 255, 0}},      // its far corner
        {17, 1, {0, 254, 1}},       // entry 1, right of it
        {17, 17, {8, 238, 17}},     // entry 17, row 1
        {255, 255, {127, 0, 255}},  // entry 255
        {241, 1, {7, 240, 15}},     // entry 15, end of row 0
    };
    for (const auto& c : cases) EXPECT_EQ(at(c.x, c.y), c.bgr) << c.x << ", " << c.y;
    FreePreviewPicture(&picture);
}

TEST(Palette, OnlyExactly1024Bytes) {
    Bytes pal = RampPalette();
    PreviewPicture picture;
    for (size_t size : {0, 1023, 1025, 2048}) {
        Bytes entry(size, 1);
        EXPECT_FALSE(IsPaletteEntry(entry.data(), uint32_t(entry.size()))) << size;
        EXPECT_FALSE(RenderPaletteSwatches(entry.data(), uint32_t(entry.size()), &picture)) << size;
        EXPECT_EQ(picture.pixels, nullptr);
    }
    EXPECT_TRUE(IsPaletteEntry(pal.data(), 1024));
    EXPECT_FALSE(IsPaletteEntry(nullptr, 1024));
}

}  // namespace
