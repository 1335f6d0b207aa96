// The sprite index: both kinds of image with transparency, true-colour
// frames in the frame stepper, replacement palettes, and every record that
// is not there.
#include <gtest/gtest.h>
#include <sprite.h>
#include <string.h>

#include "picture_util.h"

namespace {

Bytes RgbaOf(const RgbaPicture& picture) {
    if (!picture.pixels) return {};
    return Bytes(picture.pixels, picture.pixels + 4 * size_t(picture.width) * picture.height);
}

// Image `index` of an entry, decoded from an exact copy of its bytes so that
// a read past them is caught.
bool DecodeImage(const Bytes& entry, uint32_t index, const uint8_t* palette, RgbaPicture* out) {
    Bytes exact(entry);
    SprSheet sheet;
    if (!OpenSprSheet(exact.data(), uint32_t(exact.size()), &sheet)) return false;
    bool decoded = DecodeSprImage(&sheet, index, palette, out);
    CloseSprSheet(&sheet);
    return decoded;
}

const Bytes kTransparent = {0, 0, 0, 0};

Bytes Rgba(std::initializer_list<Bytes> pixels) {
    Bytes out;
    for (const Bytes& p : pixels) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// True-colour images are stored bottom row first, alpha, blue, green, red:
// the samples' frames read the right way up, matching their palette frames
// (v21-pygrf's 6 x 6 true-colour frame has its colours where the palette
// frame has its indices 4 to 7).
TEST(SprSheet, TrueColourImagesOfTheRealSamples) {
    SKIP_WITHOUT_FIXTURES();
    const Bytes blue = {0, 0, 255, 255}, green = {0, 255, 0, 255}, red = {255, 0, 0, 255},
                white = {255, 255, 255, 255}, cyan = {0, 255, 255, 255},
                magenta = {255, 0, 255, 255}, yellow = {255, 255, 0, 255};
    const Bytes twoByTwo = Rgba({kTransparent, blue, green, red});
    Bytes sixBySix(6 * 6 * 4, 0);
    memcpy(&sixBySix[4 * (2 * 6 + 2)], cyan.data(), 4);
    memcpy(&sixBySix[4 * (2 * 6 + 3)], magenta.data(), 4);
    memcpy(&sixBySix[4 * (3 * 6 + 2)], yellow.data(), 4);
    memcpy(&sixBySix[4 * (3 * 6 + 3)], white.data(), 4);
    const Bytes greys = Rgba({Bytes(4, 221), Bytes(4, 204), Bytes(4, 187), Bytes(4, 170)});
    const struct {
        const char* file;
        uint32_t index;
        int32_t width, height;
        Bytes rgba;
    } cases[] = {
        {"spr/v20-pygrf.spr", 2, 2, 2, twoByTwo},
        {"spr/v21-pygrf.spr", 2, 2, 2, twoByTwo},
        {"spr/v21-pygrf.spr", 3, 6, 6, sixBySix},
        {"spr/v20-bmp-tga-paletted.spr", 2, 1, 4, greys},
        {"spr/v21-rle-bmp-tga-paletted.spr", 2, 1, 4, greys},
        // Written top row first by its maker, it reads upside down here as
        // in every reader that flips.
        {"spr/v21-midgard.spr", 2, 2, 2, Rgba({blue, white, red, green})},
        // Palette images through the sheet: entry 0 transparent.
        {"spr/v21-pygrf.spr", 0, 2, 2, Rgba({kTransparent, blue, green, red})},
    };
    for (const auto& c : cases) {
        std::string what = std::string(c.file) + " image " + std::to_string(c.index);
        RgbaPicture picture;
        ASSERT_TRUE(DecodeImage(ReadFixture(c.file), c.index, nullptr, &picture)) << what;
        EXPECT_EQ(picture.width, c.width) << what;
        EXPECT_EQ(picture.height, c.height) << what;
        EXPECT_EQ(RgbaOf(picture), c.rgba) << what;
        FreeRgbaPicture(&picture);
    }
}

// A true-colour frame in the stepper is drawn over the palette's entry 0
// (here 9, 8, 7): (c * a + background * (255 - a)) / 255, rounded.
TEST(SprSheet, TrueColourFramesFollowThePaletteFrames) {
    SKIP_WITHOUT_FIXTURES();
    PreviewPicture picture;
    uint32_t count = 0;
    Bytes entry = ReadFixture("spr/v20-bmp-tga-paletted.spr");
    ASSERT_TRUE(DecodeSprPixels(entry.data(), uint32_t(entry.size()), 3, &picture, &count));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(picture.width, 1);
    EXPECT_EQ(picture.height, -4);  // top row first
    // Blue, green, red rows at a stride of 4.
    EXPECT_EQ(PixelsOf(picture),
              (Bytes{192, 193, 193, 0, 165, 165, 165, 0, 139, 139, 140, 0, 116, 116, 116, 0}));
    FreePreviewPicture(&picture);

    entry = ReadFixture("spr/v21-pygrf.spr");
    ASSERT_TRUE(DecodeSprPixels(entry.data(), uint32_t(entry.size()), 3, &picture, &count));
    EXPECT_EQ(count, 4u);
    // Transparent over entry 0 (black), then blue; green, red.
    EXPECT_EQ(PixelsOf(picture), (Bytes{0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0}));
    FreePreviewPicture(&picture);
}

TEST(SprSheet, RunsAndIndicesWithTransparency) {
    Bytes palette = RampPalette();  // entry i: (i, 255 - i, i / 2)
    auto entry = [&](uint8_t i) { return Bytes{i, uint8_t(255 - i), uint8_t(i / 2), 255}; };
    const Bytes zero = {0, 255, 0, 0};  // entry 0 keeps its colour, fully transparent
    const struct {
        const char* what;
        Bytes sprite;
        Bytes rgba;
    } cases[] = {
        {"raw indices", MakeSpr(0, 2, 1, {RawRecord(3, 1, {0, 5, 9})}, palette),
         Rgba({zero, entry(5), entry(9)})},
        {"runs of entry 0, 00 00 none",
         MakeSpr(1, 2, 1, {RleRecord(4, 1, {0, 2, 0, 0, 7, 8})}, palette),
         Rgba({zero, zero, entry(7), entry(8)})},
        {"a run past the last pixel is cut",
         MakeSpr(1, 2, 1, {RleRecord(2, 1, {6, 0, 200})}, palette), Rgba({entry(6), zero})},
        {"coded data ending early leaves the rest transparent",
         MakeSpr(1, 2, 1, {RleRecord(3, 1, {6, 0})}, palette),
         Rgba({entry(6), kTransparent, kTransparent})},
        {"version 1.1", MakeSpr(1, 1, 1, {RawRecord(2, 1, {1, 0})}, palette),
         Rgba({entry(1), zero})},
    };
    for (const auto& c : cases) {
        RgbaPicture picture;
        ASSERT_TRUE(DecodeImage(c.sprite, 0, nullptr, &picture)) << c.what;
        EXPECT_EQ(RgbaOf(picture), c.rgba) << c.what;
        FreeRgbaPicture(&picture);
    }
}

TEST(SprSheet, ReplacementPaletteRecoloursOnlyPaletteImages) {
    Bytes own = RampPalette(), other(1024, 0);
    for (int i = 0; i < 256; ++i) other[4 * i] = uint8_t(255 - i), other[4 * i + 3] = 0x5A;
    const Bytes rgba = {10, 20, 30, 255, 40, 50, 60, 128};
    Bytes sprite = MakeSpr(1, 2, 1, {RleRecord(2, 1, {0, 1, 3}), RgbaRecord(2, 1, rgba)}, own, 1);
    RgbaPicture picture;
    ASSERT_TRUE(DecodeImage(sprite, 0, other.data(), &picture));
    // The fourth byte is ignored: opaque, whatever the palette holds there.
    EXPECT_EQ(RgbaOf(picture), (Bytes{255, 0, 0, 0, 252, 0, 0, 255}));
    FreeRgbaPicture(&picture);
    ASSERT_TRUE(DecodeImage(sprite, 1, other.data(), &picture));
    EXPECT_EQ(RgbaOf(picture), rgba);
    FreeRgbaPicture(&picture);

    // The stepper: frame 1 through the other palette (blue, green, red).
    PreviewPicture frame;
    ASSERT_TRUE(DecodeSprPixelsWithPalette(sprite.data(), uint32_t(sprite.size()), 1, other.data(),
                                           &frame, nullptr));
    EXPECT_EQ(PixelsOf(frame), (Bytes{0, 0, 255, 0, 0, 252, 0, 0}));
    FreePreviewPicture(&frame);
    // Frame 2 is true-colour: its own colours over the other palette's
    // entry 0 (255, 0, 0); the half-transparent pixel blends with it.
    ASSERT_TRUE(DecodeSprPixelsWithPalette(sprite.data(), uint32_t(sprite.size()), 2, other.data(),
                                           &frame, nullptr));
    EXPECT_EQ(PixelsOf(frame), (Bytes{30, 20, 10, 30, 25, 147, 0, 0}));
    FreePreviewPicture(&frame);
}

TEST(SprSheet, RecordsThatAreNotThere) {
    const Bytes palette = RampPalette();
    const Bytes pixel = {1, 2, 3, 4};
    Bytes shortRgba = MakeSpr(1, 2, 1, {RleRecord(1, 1, {1}), RgbaRecord(1, 1, pixel)}, palette, 2);
    Bytes intoPalette = MakeSpr(
        1, 2, 1, {RleRecord(1, 1, {1}), RgbaRecord(2, 1, {1, 2, 3, 4, 5, 6, 7, 8})}, palette, 1);
    PutLe16At(&intoPalette, 17, 2);  // true-colour height 2: one row reaches the palette
    Bytes oldWithCount = MakeSpr(1, 1, 1, {RawRecord(1, 1, {1})}, palette);
    const struct {
        const char* what;
        Bytes sprite;
        uint32_t index;
        bool decodes;
    } cases[] = {
        {"palette record present", shortRgba, 0, true},
        {"first true-colour record present", shortRgba, 1, true},
        {"second true-colour record missing", shortRgba, 2, false},
        {"past the last image", shortRgba, 3, false},
        {"true-colour rows reach into the palette", intoPalette, 1, false},
        {"palette records fewer than declared",
         MakeSpr(1, 2, 3, {RleRecord(1, 1, {1}), RgbaRecord(1, 1, pixel)}, palette, 1), 1, false},
        {"the true-colour record after missing palette records",
         MakeSpr(1, 2, 3, {RleRecord(1, 1, {1}), RgbaRecord(1, 1, pixel)}, palette, 1), 3, false},
        {"true-colour image of width 0", MakeSpr(1, 2, 0, {RgbaRecord(0, 5, {})}, palette, 1), 0,
         false},
        {"palette image of height 0", MakeSpr(1, 2, 1, {RleRecord(3, 0, {})}, palette), 0, false},
        {"version 1.1 counts no true-colour images", oldWithCount, 1, false},
    };
    for (const auto& c : cases) {
        RgbaPicture picture;
        EXPECT_EQ(DecodeImage(c.sprite, c.index, nullptr, &picture), c.decodes) << c.what;
        if (!c.decodes) {
            EXPECT_EQ(picture.pixels, nullptr) << c.what;
        }
        FreeRgbaPicture(&picture);
    }

    SprSheet sheet;
    Bytes good = MakeSpr(1, 2, 1, {RleRecord(1, 1, {1})}, palette);
    const struct {
        const char* what;
        Bytes entry;
    } refused[] = {
        {"version 1.0", MakeSpr(0, 1, 1, {RawRecord(1, 1, {1})}, palette)},
        {"version 2.2", MakeSpr(2, 2, 1, {RleRecord(1, 1, {1})}, palette)},
        {"no room for the palette", Bytes(good.begin(), good.begin() + 1023)},
        {"header only", Bytes{'S', 'P', 1, 2, 1, 0}},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(OpenSprSheet(c.entry.data(), uint32_t(c.entry.size()), &sheet)) << c.what;
        EXPECT_EQ(sheet.images, nullptr) << c.what;
    }
    EXPECT_FALSE(OpenSprSheet(nullptr, 2000, &sheet));
}

}  // namespace
