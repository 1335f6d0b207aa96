// Targa: the blend formula byte for byte, the checkerboard behind
// transparency, row order, and every entry that must give no picture.
#include <gtest/gtest.h>
#include <preview.h>
#include <string.h>

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

TEST(Tga, TopLeftOriginIsHonoured) {
    // Rows stored white then black. Bottom-left origin: the first stored
    // row is the bottom one, which is also the first row in memory (the
    // picture's height is positive). Top-left origin (descriptor bit 5):
    // the first stored row is the top one, the last in memory.
    Bytes white(3 * 4, 255), black(3 * 4, 0);
    Bytes stored = white;
    stored.insert(stored.end(), black.begin(), black.end());
    Bytes flipped = black;
    flipped.insert(flipped.end(), white.begin(), white.end());
    const struct {
        uint8_t descriptor;
        const Bytes& expected;
    } cases[] = {{0x00, stored}, {0x20, flipped}, {0x28, flipped} /* with 8 attribute bits */};
    for (const auto& c : cases) {
        PreviewPicture picture;
        ASSERT_TRUE(Decode(MakeTga(24, 4, 2, stored, 0, c.descriptor), &picture));
        EXPECT_EQ(picture.height, 2);
        EXPECT_EQ(PixelsOf(picture), c.expected) << int(c.descriptor);
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
    Bytes mapType2 = MakeTga(24, 4, 2, row24);
    mapType2[1] = 2;
    Bytes mapPastEnd = MakeTga(24, 4, 2, row24);
    mapPastEnd[1] = 1;  // a map of one 8-bit entry the rows do not leave room for
    PutLe16At(&mapPastEnd, 5, 1);
    mapPastEnd[7] = 8;
    const std::vector<NoPicture> cases = {
        {"8 bits per pixel, true-colour", MakeTga(8, 4, 2, Bytes(8, 1))},
        {"24 bits per pixel, grey", MakeTga(24, 4, 2, row24, 0, 0, 3)},
        {"colour-mapped image type 1", MakeTga(24, 4, 2, row24, 0, 0, 1)},
        {"colour-mapped run-length type 9", MakeTga(24, 4, 2, row24, 0, 0, 9)},
        {"run-length data ends early", MakeTga(24, 4, 2, {0x86, 1, 2, 3}, 0, 0, 10)},
        {"run-length raw packet ends early", MakeTga(24, 2, 1, {0x01, 1, 2, 3, 4, 5}, 0, 0, 10)},
        {"zero width", MakeTga(24, 0, 2, row24)},
        {"zero height", MakeTga(24, 4, 0, row24)},
        {"negative width", MakeTga(24, -4, 2, row24)},
        {"negative height", MakeTga(24, 4, -2, row24)},
        {"last row one byte short", cutShort},
        {"identifier pushes rows out", idPastEnd},
        {"colour map type 2", mapType2},
        {"colour map pushes rows out", mapPastEnd},
        {"header only", MakeTga(24, 4, 2, {})},
        {"shorter than a header", Bytes{0, 0, 2, 0, 0}},
        {"empty", Bytes{}},
    };
    ExpectNoPicture(DecodeTgaPixels, cases);
}

// Run-length packets of stored pixels: runs of two or more equal pixels as
// repeat packets, the rest as raw packets, both free to cross rows.
Bytes EncodeRuns(const Bytes& pixels, size_t pixelBytes) {
    Bytes out;
    size_t count = pixels.size() / pixelBytes;
    auto same = [&](size_t a, size_t b) {
        return memcmp(&pixels[a * pixelBytes], &pixels[b * pixelBytes], pixelBytes) == 0;
    };
    for (size_t i = 0; i < count;) {
        size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), &pixels[i * pixelBytes], &pixels[(i + 1) * pixelBytes]);
        } else {
            size_t raw = 1;
            while (i + raw < count && raw < 128 &&
                   !(i + raw + 1 < count && same(i + raw, i + raw + 1)))
                ++raw;
            out.push_back(uint8_t(raw - 1));
            out.insert(out.end(), &pixels[i * pixelBytes], &pixels[(i + raw) * pixelBytes]);
            run = raw;
        }
        i += run;
    }
    return out;
}

// Each kind of targa against the plain 24- or 32-bit file of the same
// picture, which the tests above pin byte for byte.
TEST(Tga, EveryKindGivesThePictureOfItsPlainEquivalent) {
    const int16_t width = 13, height = 5;
    const size_t pixels = size_t(width) * height;
    // Pixels with runs in them, some across row ends.
    Bytes rgb, rgba;
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t v = uint8_t(i / 4 * 37);
        rgb.insert(rgb.end(), {v, uint8_t(255 - v), uint8_t(v ^ 0x5A)});
        rgba.insert(rgba.end(), {v, uint8_t(255 - v), uint8_t(v ^ 0x5A), uint8_t(i % 3 ? 255 : v)});
    }
    // 16-bit: 5 bits a channel, red highest, the top bit opacity.
    Bytes sixteen, sixteenAs24, sixteenAs32, opaqueAs32;
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t r = i % 32, g = (i * 7) % 32, b = (i * 3) % 32;
        bool opaque = i % 4 != 0;
        uint16_t v = uint16_t(r << 10 | g << 5 | b | (opaque ? 0x8000 : 0));
        sixteen.insert(sixteen.end(), {uint8_t(v), uint8_t(v >> 8)});
        auto widen = [](uint32_t c) { return uint8_t(c << 3 | c >> 2); };
        sixteenAs24.insert(sixteenAs24.end(), {widen(b), widen(g), widen(r)});
        sixteenAs32.insert(sixteenAs32.end(),
                           {widen(b), widen(g), widen(r), uint8_t(opaque ? 255 : 0)});
        opaqueAs32.insert(opaqueAs32.end(), {widen(b), widen(g), widen(r), 255});
    }
    Bytes sixteenNoAlphaSet = sixteen;  // declares opacity, sets it nowhere
    for (size_t i = 1; i < sixteenNoAlphaSet.size(); i += 2) sixteenNoAlphaSet[i] &= 0x7F;
    // Grey, and grey with alpha.
    Bytes grey, greyAs24, greyAlpha, greyAlphaAs32;
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t g = uint8_t(i * 19), a = uint8_t(i * 53);
        grey.push_back(g);
        greyAs24.insert(greyAs24.end(), {g, g, g});
        greyAlpha.insert(greyAlpha.end(), {g, a});
        greyAlphaAs32.insert(greyAlphaAs32.end(), {g, g, g, a});
    }
    // Rows stored right to left: each row reversed.
    auto reverseRows = [&](const Bytes& in, size_t pixelBytes) {
        Bytes out(in.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                memcpy(&out[(size_t(y) * width + (width - 1 - x)) * pixelBytes],
                       &in[(size_t(y) * width + x) * pixelBytes], pixelBytes);
        return out;
    };
    // A colour map of three 24-bit entries that true-colour pixels skip.
    Bytes withMap = MakeTga(24, width, height, rgb);
    withMap[1] = 1;
    PutLe16At(&withMap, 5, 3);
    withMap[7] = 24;
    withMap.insert(withMap.begin() + 18, 9, 0xEE);

    const struct {
        const char* what;
        Bytes entry;
        Bytes plain;
    } cases[] = {
        {"run-length 24-bit", MakeTga(24, width, height, EncodeRuns(rgb, 3), 0, 0, 10),
         MakeTga(24, width, height, rgb)},
        {"run-length 32-bit, top-left origin",
         MakeTga(32, width, height, EncodeRuns(rgba, 4), 0, 0x28, 10),
         MakeTga(32, width, height, rgba, 0, 0x28)},
        {"run-length with an identifier", MakeTga(24, width, height, EncodeRuns(rgb, 3), 5, 0, 10),
         MakeTga(24, width, height, rgb)},
        {"16-bit without attribute bits", MakeTga(16, width, height, sixteen),
         MakeTga(24, width, height, sixteenAs24)},
        {"15-bit", MakeTga(15, width, height, sixteen), MakeTga(24, width, height, sixteenAs24)},
        {"16-bit with its opacity bit", MakeTga(16, width, height, sixteen, 0, 0x01),
         MakeTga(32, width, height, sixteenAs32)},
        {"16-bit opacity declared, set nowhere",
         MakeTga(16, width, height, sixteenNoAlphaSet, 0, 0x01),
         MakeTga(32, width, height, opaqueAs32)},
        {"16-bit run-length", MakeTga(16, width, height, EncodeRuns(sixteen, 2), 0, 0x01, 10),
         MakeTga(32, width, height, sixteenAs32)},
        {"grey", MakeTga(8, width, height, grey, 0, 0, 3), MakeTga(24, width, height, greyAs24)},
        {"grey run-length", MakeTga(8, width, height, EncodeRuns(grey, 1), 0, 0, 11),
         MakeTga(24, width, height, greyAs24)},
        {"grey with alpha", MakeTga(16, width, height, greyAlpha, 0, 0x08, 3),
         MakeTga(32, width, height, greyAlphaAs32)},
        {"right to left", MakeTga(24, width, height, reverseRows(rgb, 3), 0, 0x10),
         MakeTga(24, width, height, rgb)},
        {"right to left, top first, 32-bit",
         MakeTga(32, width, height, reverseRows(rgba, 4), 0, 0x38),
         MakeTga(32, width, height, rgba, 0, 0x28)},
        {"colour map skipped", withMap, MakeTga(24, width, height, rgb)},
    };
    for (const auto& c : cases) {
        PreviewPicture picture, expected;
        ASSERT_TRUE(Decode(c.entry, &picture)) << c.what;
        ASSERT_TRUE(Decode(c.plain, &expected)) << c.what;
        EXPECT_EQ(picture.height, height) << c.what;
        EXPECT_EQ(PixelsOf(picture), PixelsOf(expected)) << c.what;
        FreePreviewPicture(&picture);
        FreePreviewPicture(&expected);
    }
}

TEST(Tga, RunsAreCutAtTheLastPixel) {
    // One repeat packet of 128 pixels for a 3 x 2 picture: six are used.
    Bytes entry = MakeTga(24, 3, 2, {0xFF, 10, 20, 30}, 0, 0, 10);
    PreviewPicture picture, expected;
    ASSERT_TRUE(Decode(entry, &picture));
    Bytes plain;
    for (int i = 0; i < 6; ++i) plain.insert(plain.end(), {10, 20, 30});
    ASSERT_TRUE(Decode(MakeTga(24, 3, 2, plain), &expected));
    EXPECT_EQ(PixelsOf(picture), PixelsOf(expected));
    FreePreviewPicture(&picture);
    FreePreviewPicture(&expected);
}

}  // namespace
