// JPEG: our memory source and row copy against the library's own decoding
// of the same bytes, grey pictures, data cut short, and data the library
// rejects (which must come back as no picture, never end the process).
#include <gtest/gtest.h>
#include <jpeg_source.h>
#include <preview.h>

#include "decoder_test_util.h"
#include "picture_util.h"

namespace {

bool Decode(const Bytes& entry, PreviewPicture* picture) {
    return DecodeExactly(DecodeJpegPixels, entry, picture);
}

// The picture the library's samples should give: red-green-blue reversed,
// grey repeated, rows at the common stride, top row first.
Bytes FromLibrarySamples(const Bytes& samples, uint32_t width, uint32_t height, int components) {
    Bytes packed;
    for (size_t i = 0; i < samples.size(); i += components) {
        if (components == 3)
            packed.insert(packed.end(), {samples[i + 2], samples[i + 1], samples[i]});
        else
            packed.insert(packed.end(), {samples[i], samples[i], samples[i]});
    }
    return AlignedRows(width, height, packed);
}

void ExpectLikeTheLibrary(const Bytes& jpeg, const char* what) {
    Bytes samples;
    uint32_t width = 0, height = 0;
    int components = 0;
    ASSERT_TRUE(ReferenceJpegDecode(jpeg, &samples, &width, &height, &components)) << what;
    PreviewPicture picture;
    ASSERT_TRUE(Decode(jpeg, &picture)) << what;
    EXPECT_EQ(picture.width, int32_t(width)) << what;
    EXPECT_EQ(picture.height, -int32_t(height)) << what;
    EXPECT_EQ(PixelsOf(picture), FromLibrarySamples(samples, width, height, components)) << what;
    FreePreviewPicture(&picture);
}

TEST(Jpeg, ColourAndGreyMatchTheLibrary) {
    // Width 5: rows of 15 bytes at a stride of 16.
    ExpectLikeTheLibrary(EncodeJpeg(5, 3, 3, RandomBytes(5 * 3 * 3, 1)), "colour 5 x 3");
    ExpectLikeTheLibrary(EncodeJpeg(37, 21, 3, RandomBytes(37 * 21 * 3, 2), 75, true),
                         "progressive colour 37 x 21");
    ExpectLikeTheLibrary(EncodeJpeg(9, 4, 3, RandomBytes(9 * 4 * 3, 8), 80, false, true),
                         "colour coded as red, green, blue");
    ExpectLikeTheLibrary(EncodeJpeg(6, 9, 1, RandomBytes(6 * 9, 3)), "grey 6 x 9");
}

TEST(Jpeg, ColoursComeOutBlueGreenRed) {
    Bytes red;
    for (int i = 0; i < 16 * 16; ++i) red.insert(red.end(), {250, 0, 0});
    PreviewPicture picture;
    ASSERT_TRUE(Decode(EncodeJpeg(16, 16, 3, red, 100), &picture));
    EXPECT_LT(picture.pixels[0], 10);   // blue
    EXPECT_LT(picture.pixels[1], 10);   // green
    EXPECT_GT(picture.pixels[2], 240);  // red
    FreePreviewPicture(&picture);
}

TEST(Jpeg, CutShortStillGivesTheFullSizeTopRowFirst) {
    // Light top half, dark bottom half.
    const uint32_t width = 64, height = 64;
    Bytes samples = RandomBytes(width * height * 3, 4);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = uint8_t(i < samples.size() / 2 ? 200 + samples[i] % 50 : samples[i] % 50);
    Bytes whole = EncodeJpeg(width, height, 3, samples);
    Bytes cut(whole.begin(), whole.begin() + whole.size() / 2);
    ExpectLikeTheLibrary(cut, "first half");

    PreviewPicture full, part;
    ASSERT_TRUE(Decode(whole, &full));
    ASSERT_TRUE(Decode(cut, &part));
    EXPECT_EQ(part.width, 64);
    EXPECT_EQ(part.height, -64);
    // The first rows decoded are the picture's top rows, identical in both.
    Bytes fullRows = PixelsOf(full), partRows = PixelsOf(part);
    size_t topRows = 8 * size_t(full.stride);
    EXPECT_EQ(Bytes(partRows.begin(), partRows.begin() + topRows),
              Bytes(fullRows.begin(), fullRows.begin() + topRows));
    EXPECT_GT(partRows[0], 150);
    EXPECT_NE(partRows, fullRows);
    FreePreviewPicture(&full);
    FreePreviewPicture(&part);
}

TEST(Jpeg, StreamsWithoutAPicture) {
    Bytes jpeg = EncodeJpeg(8, 8, 3, RandomBytes(8 * 8 * 3, 5));
    Bytes cmyk = EncodeJpeg(8, 8, 4, RandomBytes(8 * 8 * 4, 6));
    ASSERT_FALSE(cmyk.empty());
    // Frame header: FF C0, length, precision, height, width.
    auto withSize = [&](uint8_t high, uint8_t low) {
        Bytes changed = jpeg;
        for (size_t i = 0; i + 8 < changed.size(); ++i) {
            if (changed[i] == 0xFF && changed[i + 1] == 0xC0) {
                changed[i + 5] = high, changed[i + 6] = low;
                changed[i + 7] = high, changed[i + 8] = low;
                break;
            }
        }
        return changed;
    };
    const std::vector<NoPicture> cases = {
        {"four components (CMYK)", cmyk},
        {"start marker only", Bytes{0xFF, 0xD8}},
        {"cut inside the header", Bytes(jpeg.begin(), jpeg.begin() + 30)},
        {"not a JPEG", BytesOf("plain text, not an image")},
        {"zero width and height", withSize(0, 0)},
        {"larger than a preview", withSize(0xFF, 0xFF)},
        {"one byte", Bytes{0xFF}},
    };
    ExpectNoPicture(DecodeJpegPixels, cases);
    PreviewPicture none;
    EXPECT_FALSE(DecodeJpegPixels(jpeg.data(), 0, &none)) << "zero size";
}

// The memory source on its own: the entry once, then end markers.
TEST(Jpeg, MemorySourceHandsOutTheEntryThenEndMarkers) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    const uint8_t entry[4] = {1, 2, 3, 4};
    SetJpegMemorySource(&cinfo, entry, 4);
    jpeg_source_mgr* installed = cinfo.src;
    EXPECT_EQ(installed->bytes_in_buffer, 0u);
    EXPECT_EQ(installed->next_input_byte, nullptr);

    InitMemorySource(&cinfo);
    ASSERT_TRUE(FillMemorySource(&cinfo));
    EXPECT_EQ(cinfo.src->next_input_byte, entry);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 4u);
    SkipMemorySource(&cinfo, 0);
    SkipMemorySource(&cinfo, -5);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 4u);
    // Skipping past the entry continues into the end marker.
    SkipMemorySource(&cinfo, 5);
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 1u);
    EXPECT_EQ(cinfo.src->next_input_byte[0], 0xD9);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(FillMemorySource(&cinfo));
        ASSERT_EQ(cinfo.src->bytes_in_buffer, 2u);
        EXPECT_EQ(cinfo.src->next_input_byte[0], 0xFF);
        EXPECT_EQ(cinfo.src->next_input_byte[1], 0xD9);
    }

    // Installing again reuses the record; an empty entry starts at the marker.
    SetJpegMemorySource(&cinfo, entry, 0);
    EXPECT_EQ(cinfo.src, installed);
    InitMemorySource(&cinfo);
    ASSERT_TRUE(FillMemorySource(&cinfo));
    EXPECT_EQ(cinfo.src->bytes_in_buffer, 2u);
    EXPECT_EQ(cinfo.src->next_input_byte[1], 0xD9);
    TermMemorySource(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

}  // namespace
