// Sprites: the three layouts, the frame walk, runs, the palette, the limits,
// and every real sample's frames.
#include <gtest/gtest.h>
#include <preview.h>
#include <string.h>

#include "picture_util.h"

namespace {

bool Decode(const Bytes& entry, uint32_t frame, PreviewPicture* picture,
            uint32_t* frameCount = nullptr) {
    Bytes exact(entry);  // exactly the entry's bytes, so a read past them is caught
    return DecodeSprPixels(exact.data(), uint32_t(exact.size()), frame, picture, frameCount);
}

// The picture a frame of these palette indices should give: each index
// looked up in the entry's own last 1024 bytes (red, green, blue, fourth)
// and written blue, green, red.
Bytes ExpectedFrame(const Bytes& entry, uint32_t width, uint32_t height, const Bytes& indices) {
    const uint8_t* palette = entry.data() + entry.size() - 1024;
    Bytes packed;
    for (uint8_t i : indices)
        packed.insert(packed.end(), {palette[4 * i + 2], palette[4 * i + 1], palette[4 * i]});
    return AlignedRows(width, height, packed);
}

void ExpectFrame(const Bytes& entry, uint32_t frame, uint32_t width, uint32_t height,
                 const Bytes& indices, const std::string& what) {
    PreviewPicture picture;
    ASSERT_TRUE(Decode(entry, frame, &picture)) << what;
    EXPECT_EQ(picture.width, int32_t(width)) << what;
    EXPECT_EQ(picture.height, -int32_t(height)) << what;  // top row first
    EXPECT_EQ(PixelsOf(picture), ExpectedFrame(entry, width, height, indices)) << what;
    FreePreviewPicture(&picture);
}

TEST(Spr, ThirdFrameAfterTwoRecords) {
    Bytes entry = MakeSpr(
        1, 2, 3, {RleRecord(2, 1, {7, 8}), RleRecord(1, 3, {0, 3}), RleRecord(3, 1, {9, 10, 11})},
        RampPalette());
    ExpectFrame(entry, 3, 3, 1, {9, 10, 11}, "frame 3");
    ExpectFrame(entry, 2, 1, 3, {0, 0, 0}, "frame 2");
    ExpectFrame(entry, 1, 2, 1, {7, 8}, "frame 1");
}

TEST(Spr, RawLayoutsOfVersions11And20) {
    // 1.1: no true-colour count, frames from offset 6; 2.0: frames from 8.
    Bytes indices = {0, 1, 2, 3, 4, 5};
    Bytes v11 = MakeSpr(1, 1, 2, {RawRecord(3, 2, indices), RawRecord(1, 1, {200})}, RampPalette());
    Bytes v20 = MakeSpr(0, 2, 2, {RawRecord(3, 2, indices), RawRecord(1, 1, {200})}, RampPalette());
    EXPECT_EQ(v11[6], 3);
    EXPECT_EQ(v20[8], 3);
    ExpectFrame(v11, 1, 3, 2, indices, "1.1 frame 1");
    ExpectFrame(v11, 2, 1, 1, {200}, "1.1 frame 2");
    ExpectFrame(v20, 1, 3, 2, indices, "2.0 frame 1");
    ExpectFrame(v20, 2, 1, 1, {200}, "2.0 frame 2");
}

TEST(Spr, RunsAreCountsOfEntryZero) {
    // 00 m is m pixels of entry 0 and the count is no pixel; 00 00 is none.
    Bytes entry =
        MakeSpr(1, 2, 1, {RleRecord(4, 2, {5, 0, 3, 0, 0, 6, 0, 1, 7, 8})}, RampPalette());
    ExpectFrame(entry, 1, 4, 2, {5, 0, 0, 0, 6, 0, 7, 8}, "runs");
    // Data that ends early leaves the rest of the frame black; a final zero
    // without its count writes nothing.
    Bytes shortData = MakeSpr(1, 2, 1, {RleRecord(3, 2, {9, 9, 0})}, RampPalette());
    PreviewPicture picture;
    ASSERT_TRUE(Decode(shortData, 1, &picture));
    Bytes packed = ExpectedFrame(shortData, 2, 1, {9, 9});
    packed.resize(6);
    packed.resize(18, 0);
    EXPECT_EQ(PixelsOf(picture), AlignedRows(3, 2, packed));
    FreePreviewPicture(&picture);
}

TEST(Spr, PaletteEntriesBecomeBlueGreenRedWhateverTheirFourthByte) {
    Bytes palette = RampPalette();
    const uint8_t magenta[] = {255, 0, 255, 0};
    const uint8_t orange[] = {255, 128, 0, 255};  // fourth byte not 0
    memcpy(&palette[4 * 1], magenta, 4);
    memcpy(&palette[4 * 2], orange, 4);
    Bytes entry = MakeSpr(1, 2, 1, {RleRecord(2, 1, {1, 2})}, palette);
    PreviewPicture picture;
    ASSERT_TRUE(Decode(entry, 1, &picture));
    EXPECT_EQ(PixelsOf(picture), (Bytes{255, 0, 255, 0, 128, 255, 0, 0}));
    FreePreviewPicture(&picture);

    Bytes swapped = {1, 2, 3, 0, 4, 5, 6, 77};
    SwapPaletteOrder(swapped.data(), 2);
    EXPECT_EQ(swapped, (Bytes{3, 2, 1, 0, 6, 5, 4, 77}));
}

TEST(Spr, WidthFiveRowsAtStrideSixteen) {
    Bytes indices;
    for (int i = 0; i < 15; ++i) indices.push_back(uint8_t(i + 1));
    Bytes entry = MakeSpr(1, 2, 1, {RleRecord(5, 3, indices)}, RampPalette());
    PreviewPicture picture;
    ASSERT_TRUE(Decode(entry, 1, &picture));
    EXPECT_EQ(picture.stride, 16u);
    Bytes pixels = PixelsOf(picture);
    ASSERT_EQ(pixels.size(), 48u);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(pixels[16 * row + 15], 0) << row;
    EXPECT_EQ(pixels, ExpectedFrame(entry, 5, 3, indices));
    FreePreviewPicture(&picture);
}

TEST(Spr, CodedSizeLimitIs20000Bytes) {
    Bytes full(20000, 3);
    Bytes entry = MakeSpr(1, 2, 1, {RleRecord(100, 200, full)}, RampPalette());
    PreviewPicture picture;
    EXPECT_TRUE(Decode(entry, 1, &picture));
    FreePreviewPicture(&picture);
    Bytes over(20001, 3);
    entry = MakeSpr(1, 2, 1, {RleRecord(20001, 1, over)}, RampPalette());
    EXPECT_FALSE(Decode(entry, 1, &picture));
}

TEST(Spr, RunLengthStopsAtTheOutputLimit) {
    Bytes palette = RampPalette();
    SwapPaletteOrder(palette.data(), 256);
    // 00 05 asks for five pixels; a limit of 10 bytes holds three (9 bytes).
    const Bytes coded = {4, 0, 5, 6};
    for (uint32_t limit : {9u, 10u, 11u}) {
        Bytes out(32, 0xAA);  // poisoned: every byte not written stays 0xAA
        uint32_t written = DecodeSprRle(coded.data(), uint32_t(coded.size()), 2, limit, out.data(),
                                        palette.data());
        EXPECT_EQ(written, 9u) << limit;
        Bytes expected(32, 0xAA);
        memcpy(expected.data(), &palette[4 * 4], 3);
        memcpy(expected.data() + 3, &palette[0], 3);
        memcpy(expected.data() + 6, &palette[0], 3);
        EXPECT_EQ(out, expected) << limit;
    }
    Bytes out(32, 0xAA);
    EXPECT_EQ(DecodeSprRle(coded.data(), 4, 2, 12, out.data(), palette.data()), 12u);
    EXPECT_EQ(DecodeSprRle(coded.data(), 4, 2, 2, out.data(), palette.data()), 0u);
}

TEST(Spr, AlignedRowsHaveZeroPadding) {
    Bytes packed = RandomBytes(3 * 3 * 2, 5);
    Bytes dest(24, 0xAA);  // poisoned
    AlignSprRows(packed.data(), 3, 2, dest.data());
    EXPECT_EQ(dest, AlignedRows(3, 2, packed));
}

TEST(Spr, EntriesWithoutAPicture) {
    Bytes palette = RampPalette();
    Bytes good = MakeSpr(1, 2, 2, {RleRecord(2, 1, {1, 2}), RleRecord(1, 1, {3})}, palette);
    Bytes intoPalette = MakeSpr(1, 2, 1, {RleRecord(2, 1, {1, 2})}, palette);
    PutLe16At(&intoPalette, 12, 3);  // coded size reaches one byte into the palette
    Bytes rawIntoPalette = MakeSpr(0, 2, 1, {RawRecord(2, 1, {1, 2})}, palette);
    PutLe16At(&rawIntoPalette, 8, 3);
    struct Case {
        const char* what;
        Bytes entry;
        uint32_t frame;
    } cases[] = {
        {"frame 0", good, 0},
        {"frame beyond the count", good, 3},
        {"records fewer than the count", MakeSpr(1, 2, 3, {RleRecord(1, 1, {1})}, palette), 2},
        {"record reaches into the palette", intoPalette, 1},
        {"raw record reaches into the palette", rawIntoPalette, 1},
        {"version 1.0", MakeSpr(0, 1, 1, {RleRecord(1, 1, {1})}, palette), 1},
        {"version 2.2", MakeSpr(2, 2, 1, {RleRecord(1, 1, {1})}, palette), 1},
        {"version 1.2", MakeSpr(2, 1, 1, {RleRecord(1, 1, {1})}, palette), 1},
        {"zero width", MakeSpr(1, 2, 1, {RleRecord(0, 1, {})}, palette), 1},
        {"zero height", MakeSpr(1, 2, 1, {RleRecord(1, 0, {})}, palette), 1},
        {"no room for the palette", Bytes(good.begin(), good.begin() + 1000), 1},
        {"header only", Bytes{'S', 'P', 1, 2, 1, 0}, 1},
        {"empty", Bytes{}, 1},
    };
    for (const Case& c : cases) {
        PreviewPicture picture;
        EXPECT_FALSE(Decode(c.entry, c.frame, &picture)) << c.what;
        EXPECT_EQ(picture.pixels, nullptr) << c.what;
    }
}

TEST(Spr, FrameCountIsReportedEvenWithoutAPicture) {
    uint32_t count = 99;
    PreviewPicture picture;
    EXPECT_FALSE(Decode(MakeSpr(2, 2, 7, {}, RampPalette()), 1, &picture, &count));
    EXPECT_EQ(count, 7u);
    EXPECT_FALSE(Decode(Bytes{'S', 'P', 1}, 1, &picture, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(DecodeSprPixels(nullptr, 2000, 1, &picture, &count));
}

// The real samples: the same frames kept in each layout.
TEST(Spr, RealSamples) {
    SKIP_WITHOUT_FIXTURES();
    const Bytes sixBySix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 5, 0, 0,
                            0, 0, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    struct Case {
        const char* file;
        uint32_t frame;
        uint32_t width, height;
        Bytes indices;
        uint32_t trueColour;  // frames counted after the two palette frames
    } cases[] = {
        {"spr/v11-pygrf.spr", 1, 2, 2, {0, 1, 2, 3}, 0},
        {"spr/v11-pygrf.spr", 2, 6, 6, sixBySix, 0},
        {"spr/v20-pygrf.spr", 1, 2, 2, {0, 1, 2, 3}, 1},
        {"spr/v20-pygrf.spr", 2, 6, 6, sixBySix, 1},
        {"spr/v21-pygrf.spr", 1, 2, 2, {0, 1, 2, 3}, 2},
        {"spr/v21-pygrf.spr", 2, 6, 6, sixBySix, 2},
        {"spr/v11-bmp-paletted.spr", 1, 2, 3, {1, 2, 3, 4, 5, 6}, 0},
        {"spr/v11-bmp-paletted.spr", 2, 3, 2, {6, 5, 4, 3, 2, 1}, 0},
        {"spr/v20-bmp-tga-paletted.spr", 1, 2, 3, {1, 2, 3, 4, 5, 6}, 1},
        {"spr/v20-bmp-tga-paletted.spr", 2, 3, 2, {6, 5, 4, 3, 2, 1}, 1},
        {"spr/v21-rle-bmp-tga-paletted.spr", 1, 2, 3, {1, 2, 3, 4, 5, 6}, 1},
        {"spr/v21-rle-bmp-tga-paletted.spr", 2, 3, 2, {6, 0, 0, 3, 2, 1}, 1},
        {"spr/v21-midgard.spr", 1, 4, 4, {0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0}, 1},
        {"spr/v21-midgard.spr", 2, 2, 2, {1, 2, 3, 4}, 1},
    };
    for (const Case& c : cases) {
        Bytes entry = ReadFixture(c.file);
        ASSERT_FALSE(entry.empty()) << c.file;
        ExpectFrame(entry, c.frame, c.width, c.height, c.indices,
                    std::string(c.file) + " frame " + std::to_string(c.frame));
        // Each holds two palette frames; the true-colour frames follow them
        // in the count (their pixels: sprite_test.cpp), and nothing after.
        PreviewPicture picture;
        uint32_t count = 0;
        uint32_t last = 2 + c.trueColour;
        EXPECT_TRUE(Decode(entry, last, &picture, &count)) << c.file;
        FreePreviewPicture(&picture);
        EXPECT_EQ(count, last) << c.file;
        EXPECT_FALSE(Decode(entry, last + 1, &picture)) << c.file;
    }
}

}  // namespace
