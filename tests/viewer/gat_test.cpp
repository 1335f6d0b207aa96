// Altitude maps: the grey scale, its limits, row order, and the entries
// that give no picture.
#include <gtest/gtest.h>
#include <math.h>
#include <preview.h>

#include <limits>

#include "decoder_test_util.h"
#include "picture_util.h"

namespace {

bool Render(const Bytes& entry, PreviewPicture* picture) {
    return DecodeExactly(RenderGatPixels, entry, picture);
}

GatCell Flat(float height, uint32_t type = 0) {
    return {{height, height, height, height}, type};
}

TEST(Gat, GreyScaleAndItsLimits) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        GatCell cell;
        uint8_t grey;
    } cases[] = {
        {"all zero", Flat(0), 128},
        {"all -10", Flat(-10), 138},
        {"mean -0.5 truncates to 0", {{-1, -1, 0, 0}, 0}, 128},
        {"mean 127.9", Flat(127.9f), 1},
        {"mean 128", Flat(128), 0},
        {"mean 500", Flat(500), 0},
        {"mean -127", Flat(-127), 255},
        {"mean -128", Flat(-128), 255},
        {"mean -1000", Flat(-1000), 255},
        {"mean 2.5 of 1, 2, 3, 4", {{1, 2, 3, 4}, 0}, 126},
        {"mean -40", Flat(-40), 168},
        {"largest floats", Flat(std::numeric_limits<float>::max()), 0},
        {"not-a-number corners count as 0", {{nan, nan, -20, -20}, 0}, 138},
        {"all not-a-number", Flat(nan), 128},
        {"plus infinity", {{inf, 0, 0, 0}, 0}, 0},
        {"minus infinity", {{-inf, 0, 0, 0}, 0}, 255},
        {"both infinities cancel", {{inf, -inf, 0, 0}, 0}, 128},
    };
    std::vector<GatCell> cells;
    Bytes greys;
    for (const Case& c : cases) {
        cells.push_back(c.cell);
        greys.push_back(c.grey);
    }
    // One row, one pixel per case.
    uint32_t width = uint32_t(cells.size());
    PreviewPicture picture;
    ASSERT_TRUE(Render(MakeGat(width, 1, cells), &picture));
    Bytes pixels = PixelsOf(picture);
    for (uint32_t i = 0; i < width; ++i) EXPECT_EQ(pixels[3 * i], cases[i].grey) << cases[i].what;
    EXPECT_EQ(pixels, GreyRows(width, 1, greys));
    FreePreviewPicture(&picture);
}

TEST(Gat, ThreeByTwoWithTheFirstRowAtTheBottom) {
    std::vector<GatCell> cells = {Flat(0), Flat(-1), Flat(-2), Flat(10), Flat(11), Flat(12)};
    PreviewPicture picture;
    ASSERT_TRUE(Render(MakeGat(3, 2, cells), &picture));
    EXPECT_EQ(picture.width, 3);
    EXPECT_EQ(picture.height, 2);  // positive: memory row 0 is the bottom row
    EXPECT_EQ(picture.stride, 12u);
    EXPECT_EQ(PixelsOf(picture), GreyRows(3, 2, {128, 129, 130, 118, 117, 116}));
    FreePreviewPicture(&picture);
}

TEST(Gat, CellTypesAreIgnored) {
    PreviewPicture plain, typed;
    ASSERT_TRUE(Render(MakeGat(2, 1, {Flat(3, 0), Flat(-3, 0)}), &plain));
    ASSERT_TRUE(Render(MakeGat(2, 1, {Flat(3, 5), Flat(-3, 0x80000001)}), &typed));
    EXPECT_EQ(PixelsOf(plain), PixelsOf(typed));
    FreePreviewPicture(&plain);
    FreePreviewPicture(&typed);
}

TEST(Gat, EntriesWithoutAPicture) {
    Bytes shortByOne = MakeGat(2, 2, {Flat(0), Flat(0), Flat(0), Flat(0)});
    shortByOne.pop_back();
    Bytes huge = MakeGat(1, 1, {Flat(0)});
    PutLe32At(&huge, 6, 0x80000000u);   // 2^31 x 2^31 cells: the byte count
    PutLe32At(&huge, 10, 0x80000000u);  // would overflow 64 bits
    const std::vector<NoPicture> cases = {
        {"last cell one byte short", shortByOne},
        {"zero width", MakeGat(0, 2, {})},
        {"zero height", MakeGat(2, 0, {})},
        {"cells far beyond the entry", huge},
        {"header only", MakeGat(3, 3, {})},
        {"shorter than a header", Bytes{'G', 'R', 'A', 'T', 1, 2, 1}},
        {"empty", Bytes{}},
    };
    ExpectNoPicture(RenderGatPixels, cases);
}

TEST(Gat, RealSamples) {
    SKIP_WITHOUT_FIXTURES();
    PreviewPicture picture;
    ASSERT_TRUE(Render(ReadFixture("gat/a-10x10.gat"), &picture));
    Bytes greys(100, 128);
    greys[11] = 168;
    greys[22] = 143;
    EXPECT_EQ(picture.height, 10);
    EXPECT_EQ(PixelsOf(picture), GreyRows(10, 10, greys));
    FreePreviewPicture(&picture);

    for (const char* file : {"gat/v0102-3x2.gat", "gat/v0103-3x2.gat"}) {
        ASSERT_TRUE(Render(ReadFixture(file), &picture)) << file;
        EXPECT_EQ(PixelsOf(picture), GreyRows(3, 2, Bytes(6, 126))) << file;
        FreePreviewPicture(&picture);
    }
    for (const char* file : {"gat/short-by-one.gat", "gat/short-cells.gat"}) {
        EXPECT_FALSE(Render(ReadFixture(file), &picture)) << file;
    }
}

}  // namespace
