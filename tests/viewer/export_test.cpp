// Exports: PNG and animated GIF read back by the libraries themselves and
// compared pixel by pixel, an action exported in one call, and the file
// step's replace-or-keep and cleanliness.
#include <act.h>
#include <export.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "picture_util.h"

namespace {

struct OwnedRgba {
    RgbaPicture picture = {};
    OwnedRgba(int32_t width, int32_t height, const Bytes& rgba) {
        EXPECT_TRUE(MakeRgbaPicture(width, height, &picture));
        memcpy(picture.pixels, rgba.data(), rgba.size());
    }
    ~OwnedRgba() { FreeRgbaPicture(&picture); }
    OwnedRgba(const OwnedRgba&) = delete;
    OwnedRgba& operator=(const OwnedRgba&) = delete;
};

Bytes Take(uint8_t* data, size_t size) {
    Bytes bytes(data, data + size);
    free(data);
    return bytes;
}

TEST(ExportPng, ReadsBackAsThePicture) {
    Bytes rgba = RandomBytes(5 * 3 * 4, 11);
    rgba[3] = 0, rgba[7] = 255, rgba[11] = 1;  // transparent, opaque, nearly transparent
    OwnedRgba picture(5, 3, rgba);
    uint8_t* data;
    size_t size;
    ASSERT_TRUE(EncodePng(&picture.picture, &data, &size));
    Bytes png = Take(data, size);
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 8),
              (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    uint32_t width = 0, height = 0;
    Bytes back;
    ASSERT_TRUE(ReadPng(png, &width, &height, &back));
    EXPECT_EQ(width, 5u);
    EXPECT_EQ(height, 3u);
    EXPECT_EQ(back, rgba);

    RgbaPicture empty = {};
    EXPECT_FALSE(EncodePng(&empty, &data, &size));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
}

// What a GIF keeps of a pixel: transparent below alpha 128, else opaque.
Bytes AsGif(const Bytes& rgba) {
    Bytes out;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        if (rgba[i + 3] < 128)
            out.insert(out.end(), {0, 0, 0, 0});
        else
            out.insert(out.end(), {rgba[i], rgba[i + 1], rgba[i + 2], 255});
    }
    return out;
}

TEST(ExportGif, FewColoursComeBackExactly) {
    const Bytes red = {255, 0, 0, 255}, half = {0, 0, 255, 127}, green = {0, 255, 0, 128},
                clear = {9, 9, 9, 0};
    auto pixels = [](std::initializer_list<Bytes> list) {
        Bytes out;
        for (const Bytes& p : list) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    Bytes first = pixels({red, half, green, clear, red, green});
    Bytes second = pixels({green, green, clear, red, half, red});
    OwnedRgba a(3, 2, first), b(3, 2, second);
    RgbaPicture frames[] = {a.picture, b.picture};
    const uint32_t delays[] = {100, 5};
    uint8_t* data;
    size_t size;
    ASSERT_TRUE(EncodeGifAnimation(frames, delays, 2, &data, &size));
    Bytes gif = Take(data, size);
    EXPECT_EQ(Bytes(gif.begin(), gif.begin() + 6), BytesOf("GIF89a"));
    GifRead read;
    ASSERT_TRUE(ReadGif(gif, &read));
    EXPECT_EQ(read.width, 3);
    EXPECT_EQ(read.height, 2);
    EXPECT_TRUE(read.loops);
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.frames[0].rgba, AsGif(first));
    EXPECT_EQ(read.frames[1].rgba, AsGif(second));
    EXPECT_EQ(read.frames[0].delay, 10);
    EXPECT_EQ(read.frames[1].delay, 2);  // 5 ms is raised to the least that plays
    EXPECT_EQ(read.frames[0].disposal, DISPOSE_BACKGROUND);
}

TEST(ExportGif, ManyColoursAreCutDownClosely) {
    // 64 x 64 of 4096 colours (a smooth field): 255 shared colours, each
    // pixel near its own.
    const int side = 64;
    Bytes rgba;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            rgba.insert(rgba.end(), {uint8_t(x * 4), uint8_t(y * 4), uint8_t((x + y) * 2), 255});
    OwnedRgba picture(side, side, rgba);
    const uint32_t delay = 40;
    uint8_t* data;
    size_t size;
    ASSERT_TRUE(EncodeGifAnimation(&picture.picture, &delay, 1, &data, &size));
    GifRead read;
    ASSERT_TRUE(ReadGif(Take(data, size), &read));
    ASSERT_EQ(read.frames.size(), 1u);
    const Bytes& back = read.frames[0].rgba;
    ASSERT_EQ(back.size(), rgba.size());
    int worst = 0;
    double total = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        EXPECT_EQ(back[i + 3], 255);
        for (int c = 0; c < 3; ++c) {
            int diff = abs(int(back[i + c]) - int(rgba[i + c]));
            worst = std::max(worst, diff);
            total += diff;
        }
    }
    EXPECT_LE(worst, 24);
    EXPECT_LE(total / (rgba.size() / 4 * 3), 5.0);
}

TEST(ExportGif, RefusedSequences) {
    OwnedRgba a(2, 2, Bytes(16, 9)), b(2, 3, Bytes(24, 9));
    RgbaPicture mixed[] = {a.picture, b.picture};
    const uint32_t delays[] = {100, 100};
    uint8_t* data;
    size_t size;
    EXPECT_FALSE(EncodeGifAnimation(mixed, delays, 0, &data, &size));
    EXPECT_FALSE(EncodeGifAnimation(mixed, delays, 2, &data, &size));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(ExportGif, AnActionInOneCall) {
    // A 2 x 2 palette image placed at two points: two frames on one canvas,
    // 6 ticks (150 ms) a frame.
    Bytes sprite = MakeSpr(1, 2, 1, {RleRecord(2, 2, {1, 2, 3, 0, 1})}, RampPalette());
    Bytes act = {'A', 'C', 5, 2, 1, 0};
    act.resize(16, 0);
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) act.push_back(uint8_t(v >> (8 * i)));
    };
    put32(2);  // frames
    for (int32_t x : {0, 3}) {
        act.insert(act.end(), 32, 0);
        put32(1);  // one layer: x, y, image, mirror, tint, scales, turn, type, size
        put32(uint32_t(x)), put32(0), put32(0), put32(0), put32(0xFFFFFFFF);
        put32(0x3F800000), put32(0x3F800000), put32(0), put32(0), put32(2), put32(2);
        put32(0xFFFFFFFF), put32(0);  // no event, no anchors
    }
    ActFile parsed;
    ASSERT_TRUE(ParseAct(act.data(), uint32_t(act.size()), &parsed));
    SprSheet sheet;
    ASSERT_TRUE(OpenSprSheet(sprite.data(), uint32_t(sprite.size()), &sheet));
    uint8_t* data;
    size_t size;
    ASSERT_TRUE(ExportActionGif(&parsed, &sheet, nullptr, 0, &data, &size));
    GifRead read;
    ASSERT_TRUE(ReadGif(Take(data, size), &read));
    EXPECT_EQ(read.width, 5);  // x -1 to 3
    EXPECT_EQ(read.height, 2);
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.frames[1].delay, 15);
    auto colour = [](int i) { return Bytes{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 255}; };
    Bytes expected(5 * 2 * 4, 0);
    for (int x : {0, 1}) {  // second frame: at columns 3 and 4
        memcpy(&expected[4 * (3 + x)], colour(1 + x).data(), 4);
    }
    memcpy(&expected[4 * (5 + 3)], colour(3).data(), 4);  // bottom row: 3, then entry 0
    EXPECT_EQ(read.frames[1].rgba, expected);
    EXPECT_FALSE(ExportActionGif(&parsed, &sheet, nullptr, 1, &data, &size));
    CloseSprSheet(&sheet);
    FreeAct(&parsed);
}

size_t FilesIn(const std::wstring& folder) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}

TEST(ExportFile, WrittenWholeReplacedOnlyWhenAskedNothingLeftOver) {
    TempDir dir;
    std::wstring path = dir.Join(L"frame.png");
    const Bytes first = BytesOf("first"), second = BytesOf("second, longer");
    Bytes read;
    ASSERT_TRUE(WriteExportFile(path.c_str(), first.data(), first.size(), false));
    ASSERT_TRUE(ReadFileBytes(path, &read));
    EXPECT_EQ(read, first);
    // Kept: an existing file is not replaced unless asked.
    EXPECT_FALSE(WriteExportFile(path.c_str(), second.data(), second.size(), false));
    ASSERT_TRUE(ReadFileBytes(path, &read));
    EXPECT_EQ(read, first);
    ASSERT_TRUE(WriteExportFile(path.c_str(), second.data(), second.size(), true));
    ASSERT_TRUE(ReadFileBytes(path, &read));
    EXPECT_EQ(read, second);
    // An empty file is a file too.
    std::wstring empty = dir.Join(L"empty.gif");
    ASSERT_TRUE(WriteExportFile(empty.c_str(), nullptr, 0, false));
    ASSERT_TRUE(ReadFileBytes(empty, &read));
    EXPECT_TRUE(read.empty());
    // No temporary file stays behind, after success or failure.
    EXPECT_EQ(FilesIn(dir.path), 2u);
    // A folder that does not exist: nothing written.
    std::wstring missing = dir.Join(L"missing") + L"\\a.png";  // a backslash works on both
    EXPECT_FALSE(WriteExportFile(missing.c_str(), first.data(), first.size(), true));
    EXPECT_EQ(FilesIn(dir.path), 2u);
    EXPECT_FALSE(WriteExportFile(nullptr, first.data(), first.size(), true));
    EXPECT_FALSE(WriteExportFile(L"", first.data(), first.size(), true));
}

}  // namespace
