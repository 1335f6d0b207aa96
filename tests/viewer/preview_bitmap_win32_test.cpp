// The Windows step: pictures become screen bitmaps with the same pixels in
// the right row order, bitmap files go through the platform's conversion
// once checked, and each decoder leaves the current preview as promised.
#include <gtest/gtest.h>
#include <preview_bitmap_win32.h>

#include "picture_util.h"

namespace {

// A bitmap's pixels read back as 24-bit rows at the common stride, top row
// first.
Bytes ReadBack(HBITMAP bitmap, int32_t width, int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    Bytes rows(size_t(RoundUpTo4(uint32_t(width) * 3)) * height, 0xAA);
    HDC screen = GetDC(nullptr);
    int read = GetDIBits(screen, bitmap, 0, UINT(height), rows.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return read == height ? rows : Bytes{};
}

// Rows in the opposite order.
Bytes Flipped(const Bytes& rows, size_t stride) {
    Bytes flipped;
    for (size_t at = rows.size(); at >= stride; at -= stride)
        flipped.insert(flipped.end(), rows.begin() + (at - stride), rows.begin() + at);
    return flipped;
}

// Makes `entry` the current preview for one test and clears it after.
struct PreviewScope {
    explicit PreviewScope(Bytes* entry, PreviewType type = PREVIEW_NONE) {
        g_previewImage = PreviewImage{};
        g_previewImage.data = entry ? entry->data() : nullptr;
        g_previewImage.size = entry ? uint32_t(entry->size()) : 0;
        g_previewImage.type = type;
        g_previewImage.frameCount = 1;
        g_previewImage.currentFrame = 1;
    }
    ~PreviewScope() {
        ClearPreviewPicture();
        g_previewImage = PreviewImage{};
    }
};

bool IsBitmap(HBITMAP bitmap) {
    return GetObjectType(bitmap) == OBJ_BITMAP;
}

TEST(PreviewBitmap, PicturesKeepTheirPixelsAndRowOrder) {
    PreviewScope scope(nullptr);
    Bytes packed = RandomBytes(5 * 3 * 3, 21);
    Bytes rows = AlignedRows(5, 3, packed);
    for (int32_t height : {-3, 3}) {
        PreviewPicture picture;
        ASSERT_TRUE(MakePreviewPicture(5, height, &picture));
        memcpy(picture.pixels, rows.data(), rows.size());
        HBITMAP before = g_previewImage.bitmap;
        ASSERT_TRUE(StorePreviewPicture(&picture)) << height;
        EXPECT_EQ(picture.pixels, nullptr);  // the working buffer is released
        EXPECT_EQ(g_previewImage.width, 5);
        EXPECT_EQ(g_previewImage.height, 3);
        // Negative height: memory's first row is the top; positive: the bottom.
        Bytes expected = height < 0 ? rows : Flipped(rows, 16);
        EXPECT_EQ(ReadBack(g_previewImage.bitmap, 5, 3), expected) << height;
        if (before) {
            EXPECT_FALSE(IsBitmap(before));  // the replaced bitmap is deleted
        }
    }
    HBITMAP kept = g_previewImage.bitmap;
    PreviewPicture empty{};
    EXPECT_FALSE(StorePreviewPicture(&empty));
    EXPECT_EQ(g_previewImage.bitmap, kept);
    ClearPreviewPicture();
    EXPECT_EQ(g_previewImage.bitmap, nullptr);
    EXPECT_EQ(g_previewImage.width, 0);
    EXPECT_FALSE(IsBitmap(kept));
}

TEST(PreviewBitmap, DecodersBuildTheirPixelWorkOnScreen) {
    Bytes tga = MakeTga(32, 9, 10, RandomBytes(9 * 10 * 4, 22));
    Bytes jpeg = EncodeJpeg(7, 5, 3, RandomBytes(7 * 5 * 3, 23));
    Bytes gat = MakeGat(2, 3,
                        {{{1, 2, 3, 4}, 0},
                         {{-9, -9, -9, -9}, 0},
                         {{50, 60, 70, 80}, 0},
                         {{0, 0, 0, 0}, 0},
                         {{-200, 0, 0, 0}, 0},
                         {{300, 0, 0, 0}, 0}});
    struct Case {
        const char* what;
        void (*decoder)();
        bool (*pixelWork)(const uint8_t*, uint32_t, PreviewPicture*);
        Bytes entry;
    } cases[] = {
        {"targa", DecodeTgaPreview, DecodeTgaPixels, tga},
        {"JPEG", DecodeJpegPreview, DecodeJpegPixels, jpeg},
        {"map", RenderGatPreview, RenderGatPixels, gat},
    };
    for (Case& c : cases) {
        PreviewPicture picture;
        ASSERT_TRUE(c.pixelWork(c.entry.data(), uint32_t(c.entry.size()), &picture)) << c.what;
        int32_t rows = picture.height < 0 ? -picture.height : picture.height;
        Bytes expected = PixelsOf(picture);
        if (picture.height > 0) expected = Flipped(expected, picture.stride);
        int32_t width = picture.width;
        FreePreviewPicture(&picture);

        PreviewScope scope(&c.entry);
        c.decoder();
        ASSERT_NE(g_previewImage.bitmap, nullptr) << c.what;
        EXPECT_EQ(g_previewImage.width, width) << c.what;
        EXPECT_EQ(g_previewImage.height, rows) << c.what;
        EXPECT_EQ(ReadBack(g_previewImage.bitmap, width, rows), expected) << c.what;

        // A rejected entry leaves no picture; so does no data at all.
        HBITMAP previous = g_previewImage.bitmap;
        Bytes cut(c.entry.begin(), c.entry.begin() + 12);
        g_previewImage.data = cut.data();
        g_previewImage.size = uint32_t(cut.size());
        c.decoder();
        EXPECT_EQ(g_previewImage.bitmap, nullptr) << c.what;
        EXPECT_EQ(g_previewImage.width, 0) << c.what;
        EXPECT_EQ(g_previewImage.height, 0) << c.what;
        EXPECT_FALSE(IsBitmap(previous)) << c.what;
        g_previewImage.data = nullptr;
        c.decoder();
        EXPECT_EQ(g_previewImage.bitmap, nullptr) << c.what;
    }
}

TEST(PreviewBitmap, SpriteFramesAndFramesThatGiveNone) {
    Bytes spr =
        MakeSpr(1, 2, 3, {RleRecord(2, 1, {1, 2}), RleRecord(3, 2, {0, 6}), RleRecord(0, 0, {})},
                RampPalette());
    PreviewScope scope(&spr, PREVIEW_SPR);
    DecodeSprPreview();
    EXPECT_EQ(g_previewImage.frameCount, 3u);
    ASSERT_NE(g_previewImage.bitmap, nullptr);
    EXPECT_EQ(g_previewImage.width, 2);
    EXPECT_EQ(g_previewImage.height, 1);
    // Entry i of the ramp palette is red i, green 255 - i, blue i / 2.
    EXPECT_EQ(ReadBack(g_previewImage.bitmap, 2, 1), (Bytes{0, 254, 1, 1, 253, 2, 0, 0}));

    g_previewImage.currentFrame = 2;
    DecodeSprPreview();
    EXPECT_EQ(g_previewImage.width, 3);
    EXPECT_EQ(g_previewImage.height, 2);
    Bytes green;
    for (int i = 0; i < 6; ++i) green.insert(green.end(), {0, 255, 0});  // entry 0
    EXPECT_EQ(ReadBack(g_previewImage.bitmap, 3, 2), AlignedRows(3, 2, green));
    // Frame 3 is empty and frame 4 does not exist: frame 2 stays on screen.
    HBITMAP shown = g_previewImage.bitmap;
    for (uint32_t frame : {3u, 4u}) {
        g_previewImage.currentFrame = frame;
        DecodeSprPreview();
        EXPECT_EQ(g_previewImage.bitmap, shown) << frame;
        EXPECT_TRUE(IsBitmap(shown)) << frame;
        EXPECT_EQ(g_previewImage.width, 3) << frame;
    }
    g_previewImage.data = nullptr;
    DecodeSprPreview();
    EXPECT_EQ(g_previewImage.bitmap, nullptr);
    EXPECT_EQ(g_previewImage.width, 0);
}

TEST(PreviewBitmap, BitmapFilesThroughThePlatform) {
    // 3 x 2 at 8 bits: rows bottom first, colour table blue, green, red, 0.
    Bytes table(1024, 0);
    const uint8_t colours[][4] = {{10, 20, 30, 0}, {200, 100, 50, 0}, {0, 0, 255, 0}};
    for (int i = 0; i < 3; ++i) memcpy(&table[4 * i], colours[i], 4);
    Bytes bmp = MakeBmp(3, 2, 8, 0, table, {0, 1, 2, 0, /* top row: */ 2, 2, 1, 0});
    Bytes topDown = MakeBmp(3, -2, 8, 0, table, {2, 2, 1, 0, 0, 1, 2, 0});
    const Bytes expected = {0,  0,  255, 0,   0,   255, 200, 100, 50,  0, 0, 0,   // top row
                            10, 20, 30,  200, 100, 50,  0,   0,   255, 0, 0, 0};  // bottom row
    for (Bytes* entry : {&bmp, &topDown}) {
        PreviewScope scope(entry, PREVIEW_BMP);
        DecodeBmpPreview();
        ASSERT_NE(g_previewImage.bitmap, nullptr);
        EXPECT_EQ(g_previewImage.width, 3);
        EXPECT_EQ(g_previewImage.height, 2);
        EXPECT_EQ(ReadBack(g_previewImage.bitmap, 3, 2), expected);
    }
    {
        Bytes cut(bmp.begin(), bmp.end() - 1);
        PreviewScope scope(&cut, PREVIEW_BMP);
        DecodeBmpPreview();
        EXPECT_EQ(g_previewImage.bitmap, nullptr);
        EXPECT_EQ(g_previewImage.width, 0);
    }
    {
        PreviewScope scope(nullptr, PREVIEW_BMP);
        DecodeBmpPreview();
        EXPECT_EQ(g_previewImage.bitmap, nullptr);
    }
}

TEST(PreviewBitmap, RealBitmapWithColourMasks) {
    SKIP_WITHOUT_FIXTURES();
    Bytes bmp = ReadFixture("bmp/v5-32bpp-bitfields.bmp");
    PreviewScope scope(&bmp, PREVIEW_BMP);
    DecodeBmpPreview();
    ASSERT_NE(g_previewImage.bitmap, nullptr);
    ASSERT_EQ(g_previewImage.width, 256);
    ASSERT_EQ(g_previewImage.height, 256);
    // Blue, green, red, alpha per pixel, rows bottom first.
    Bytes packed;
    for (int y = 255; y >= 0; --y)
        for (int x = 0; x < 256; ++x) {
            const uint8_t* p = &bmp[138 + 4 * (256 * y + x)];
            packed.insert(packed.end(), {p[0], p[1], p[2]});
        }
    EXPECT_EQ(ReadBack(g_previewImage.bitmap, 256, 256), AlignedRows(256, 256, packed));
}

}  // namespace
