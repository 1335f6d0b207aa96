// Targa: the blend formula byte for byte, the checkerboard behind
// transparency, row order, and every entry that must give no picture.
#include <gtest/gtest.h>
#include <preview.h>

#include "decoder_test_util.h"
#include "picture_util.h"

namespace {

bool Decode(const Bytes& entry, PreviewPicture* picture) {
    return DecodeExactly(DecodeTgaPixels, entry, picture);
}

// Expected values from the formula evaluated independently in double
// precision: opaque channels may drop by one, differently per tone.
TEST(Tga, OpaqueFormulaTruncates) {
    // One row of 16 pixels: x 0..7 over tone 0.4, x 8..15 over tone 0.6.
    const uint8_t channels[] = {1, 255, 0, 3, 5, 12, 244, 250};
    Bytes pixels;
    for (int half = 0; half < 2; ++half)
        for (uint8_t c : channels) pixels.insert(pixels.end(), {c, c, c});
    PreviewPicture picture;
    ASSERT_TRUE(Decode(MakeTga(24, 16, 1, pixels), &picture));
    const Bytes greys = {0, 255, 0, 3, 4, 12, 243, 250, 0, 255, 0, 2, 5, 11, 243, 250};
    EXPECT_EQ(PixelsOf(picture), GreyRows(16, 1, greys));
    FreePreviewPicture(&picture);
}

// Every channel value at both tones, across whole 16-pixel blocks and a
// remainder, against the values the formula gives in double precision
// (computed apart from this code): an opaque channel c comes out as c, or
// c - 1 for these.
TEST(Tga, EveryOpaqueChannelAtBothTones) {
    const std::vector<int> dropsAt04 = {
        1,  2,  5,  9,  10, 13, 17, 18,  21,  25,  26,  29,  33,  34,  37,  41,  45,  49, 53,
        57, 61, 66, 74, 82, 90, 98, 106, 114, 122, 132, 148, 164, 180, 196, 212, 228, 244};
    const std::vector<int> dropsAt06 = {1,   2,   3,   9,   10,  11,  12,  17, 18,  19,  25,
                                        26,  29,  33,  34,  37,  41,  42,  45, 49,  50,  53,
                                        57,  58,  61,  66,  74,  82,  90,  98, 106, 114, 122,
                                        132, 148, 164, 180, 196, 212, 228, 244};
    bool drops[2][256] = {};
    for (int c : dropsAt04) drops[0][c] = true;
    for (int c : dropsAt06) drops[1][c] = true;

    const uint32_t width = 261, height = 17;
    Bytes pixels, expected;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            int tone = ((x & 8) != 0) != ((y & 8) != 0) ? 1 : 0;
            const uint8_t channels[3] = {uint8_t(x + 7 * y), uint8_t(3 * x + y),
                                         uint8_t(255 - x + y)};
            for (uint8_t c : channels) {
                pixels.push_back(c);
                expected.push_back(uint8_t(c - (drops[tone][c] ? 1 : 0)));
            }
        }
    }
    PreviewPicture picture;
    ASSERT_TRUE(Decode(MakeTga(24, width, height, pixels), &picture));
    EXPECT_EQ(PixelsOf(picture), AlignedRows(width, height, expected));
    FreePreviewPicture(&picture);
}

TEST(Tga, ChannelsStayInBlueGreenRedOrder) {
    Bytes pixels = {20, 200, 250};  // blue, green, red
    PreviewPicture picture;
    ASSERT_TRUE(Decode(MakeTga(24, 1, 1, pixels), &picture));
    EXPECT_EQ(PixelsOf(picture), (Bytes{20, 200, 250, 0}));
    FreePreviewPicture(&picture);
}

TEST(Tga, AlphaBlendsOverTheTone) {
    // Alpha 128 over tones 0.4 (x 0) and 0.6 (x 8); alpha 1 and 255 likewise.
    Bytes pixels(4 * 9, 0);
    auto set = [&](int x, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
        pixels[4 * x] = b, pixels[4 * x + 1] = g, pixels[4 * x + 2] = r, pixels[4 * x + 3] = a;
    };
    set(0, 200, 10, 100, 128);
    set(1, 255, 0, 1, 255);
    set(8, 200, 10, 100, 1);
    PreviewPicture picture;
    ASSERT_TRUE(Decode(MakeTga(32, 9, 1, pixels), &picture));
    Bytes row = PixelsOf(picture);
    EXPECT_EQ(Bytes(row.begin(), row.begin() + 6), (Bytes{151, 55, 100, 255, 0, 0}));
    // x 8, alpha 1 over 0.6: blue 200 -> 153, green 10 -> 152, red 100 -> 152.
    EXPECT_EQ(Bytes(row.begin() + 24, row.begin() + 27), (Bytes{153, 152, 152}));
    FreePreviewPicture(&picture);
}

TEST(Tga, TransparentPixelsShowTheCheckerboard) {
    // 20 x 20 of random colours, all fully transparent: 8 x 8 squares from
    // the bottom-left corner, grey 102 where x & 8 and y & 8 agree and 153
    // where exactly one of them is set.
    const int size = 20;
    Bytes transparent = RandomBytes(size * size * 4, 7);
    for (size_t i = 3; i < transparent.size(); i += 4) transparent[i] = 0;
    PreviewPicture picture;
    ASSERT_TRUE(Decode(MakeTga(32, size, size, transparent), &picture));
    EXPECT_EQ(picture.height, size);  // first stored row is the bottom row
    Bytes greys;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            greys.push_back(((x & 8) != 0) != ((y & 8) != 0) ? 153 : 102);
    EXPECT_EQ(PixelsOf(picture), GreyRows(size, size, greys));
    FreePreviewPicture(&picture);
}

TEST(Tga, TopLeftOriginIsShownUpsideDown) {
    // The origin bit is not consulted: the first stored row (white) stays
    // the first row in memory, which a positive height puts at the bottom.
    Bytes pixels(3 * 4, 255);
    pixels.resize(3 * 4 * 2, 0);
    for (uint8_t descriptor : {0x00, 0x20}) {
        PreviewPicture picture;
        ASSERT_TRUE(Decode(MakeTga(24, 4, 2, pixels, 0, descriptor), &picture));
        EXPECT_EQ(picture.height, 2);
        EXPECT_EQ(PixelsOf(picture), pixels) << int(descriptor);
        FreePreviewPicture(&picture);
    }
}

TEST(Tga, IdentifierIsSkippedAndRowsAreAligned) {
    // Width 5: 15 pixel bytes per row at a stride of 16, the padding zero.
    Bytes pixels;
    for (int i = 0; i < 10; ++i) pixels.insert(pixels.end(), {255, 128, 0});
    PreviewPicture picture;
    ASSERT_TRUE(Decode(MakeTga(24, 5, 2, pixels, 7), &picture));
    EXPECT_EQ(picture.stride, 16u);
    Bytes packed;
    for (int i = 0; i < 10; ++i) packed.insert(packed.end(), {255, 128, 0});
    EXPECT_EQ(PixelsOf(picture), AlignedRows(5, 2, packed));
    FreePreviewPicture(&picture);
}

TEST(Tga, EntriesWithoutAPicture) {
    const Bytes row24(3 * 4 * 2, 9);
    Bytes cutShort = MakeTga(24, 4, 2, row24);
    cutShort.pop_back();
    Bytes idPastEnd = MakeTga(24, 4, 2, row24);
    idPastEnd[0] = 1;  // the identifier pushes the last pixel past the entry
    const std::vector<NoPicture> cases = {
        {"16 bits per pixel", MakeTga(16, 4, 2, Bytes(16, 1))},
        {"8 bits per pixel", MakeTga(8, 4, 2, Bytes(8, 1))},
        {"15 bits per pixel", MakeTga(15, 4, 2, Bytes(16, 1))},
        {"run-length image type 10", MakeTga(24, 4, 2, row24, 0, 0, 10)},
        {"colour-mapped image type 1", MakeTga(24, 4, 2, row24, 0, 0, 1)},
        {"zero width", MakeTga(24, 0, 2, row24)},
        {"zero height", MakeTga(24, 4, 0, row24)},
        {"negative width", MakeTga(24, -4, 2, row24)},
        {"negative height", MakeTga(24, 4, -2, row24)},
        {"last row one byte short", cutShort},
        {"identifier pushes rows out", idPastEnd},
        {"header only", MakeTga(24, 4, 2, {})},
        {"shorter than a header", Bytes{0, 0, 2, 0, 0}},
        {"empty", Bytes{}},
    };
    ExpectNoPicture(DecodeTgaPixels, cases);
}

}  // namespace
