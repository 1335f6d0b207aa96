// The common picture form: strides, the header every decoder writes, the
// size bound, and the entry kinds' names.
#include <gtest/gtest.h>
#include <preview.h>

#include "picture_util.h"

namespace {

TEST(Picture, RoundUpTo4) {
    const uint32_t cases[][2] = {{0, 0}, {1, 4}, {3, 4}, {4, 4}, {5, 8}, {15, 16}, {16, 16}};
    for (const auto& c : cases) EXPECT_EQ(RoundUpTo4(c[0]), c[1]) << c[0];
}

TEST(Picture, HeaderAndZeroedRowsAtStride) {
    PreviewPicture picture;
    ASSERT_TRUE(MakePreviewPicture(5, -3, &picture));
    const Bytes header = {40, 0, 0, 0, 5, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0, 0, 0, 0, 0,
                          0,  0, 0, 0, 0, 0, 0, 0, 0,    0,    0,    0,    0, 0, 0,  0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(picture.header, picture.header + 40), header);
    EXPECT_EQ(picture.width, 5);
    EXPECT_EQ(picture.height, -3);
    EXPECT_EQ(picture.stride, 16u);  // 15 pixel bytes raised to a multiple of 4
    EXPECT_EQ(PixelsOf(picture), Bytes(48, 0));
    FreePreviewPicture(&picture);
    EXPECT_EQ(picture.pixels, nullptr);
    FreePreviewPicture(&picture);  // emptying twice is harmless
}

TEST(Picture, RefusesEmptyNegativeAndHugeSizes) {
    const int32_t cases[][2] = {{0, 1},       {1, 0},        {-1, 1},       {1, INT32_MIN},
                                {8193, 4096}, {4096, -8193}, {INT32_MAX, 2}};
    for (const auto& c : cases) {
        PreviewPicture picture;
        EXPECT_FALSE(MakePreviewPicture(c[0], c[1], &picture)) << c[0] << " x " << c[1];
        EXPECT_EQ(picture.pixels, nullptr);
    }
    PreviewPicture largest;
    ASSERT_TRUE(MakePreviewPicture(8192, -4096, &largest));  // exactly the bound
    FreePreviewPicture(&largest);
}

TEST(Picture, TypeNames) {
    EXPECT_STREQ(PreviewTypeName(PREVIEW_NONE), L"Unknown");
    EXPECT_STREQ(PreviewTypeName(PREVIEW_BMP), L"BMP");
    EXPECT_STREQ(PreviewTypeName(PREVIEW_TGA), L"TGA");
    EXPECT_STREQ(PreviewTypeName(PREVIEW_JPG), L"JPG");
    EXPECT_STREQ(PreviewTypeName(PREVIEW_SPR), L"SPR");
    EXPECT_STREQ(PreviewTypeName(PREVIEW_GAT), L"GAT");
    EXPECT_STREQ(PreviewTypeName(PREVIEW_WAV), L"");
    EXPECT_STREQ(PreviewTypeName(99), L"");
}

}  // namespace
