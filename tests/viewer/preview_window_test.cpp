// What the preview launch and window decide without the window system: the
// kind of an entry, the window's size, the buttons' hit areas, the saved
// file's header and the check of a sound before it is played.
#include <gtest/gtest.h>
#include <preview_launch.h>
#include <preview_window.h>
#include <string.h>

#include <string>
#include <vector>

#include "picture_util.h"

namespace {

// An entry's block as the engine hands it over: the bytes, then zeros.
Bytes Block(const Bytes& bytes) {
    Bytes block(bytes);
    block.resize(bytes.size() + 1024, 0);
    return block;
}

// The bytes of a literal, inner NULs included.
template <size_t N>
Bytes Lit(const char (&text)[N]) {
    return Bytes(text, text + N - 1);
}

TEST(DetectPreviewType, LeadingBytesAndExtensionTogether) {
    const Bytes bitmap = BytesOf("BM");
    const Bytes sprite = {'S', 'P', 0, 2, 3, 0};
    const Bytes spriteWithoutFrames = {'S', 'P', 0, 2, 0, 0, 0, 0, 7, 7};
    const Bytes trueColourOnlySprite = {'S', 'P', 1, 2, 0, 0, 2, 0};
    const Bytes oldSpriteWithoutFrames = {'S', 'P', 1, 1, 0, 0, 2, 0};  // 1.1 has no count at 6
    const Bytes targa = {0, 0, 2, 0, 0, 0, 0, 0};
    const Bytes runLengthTarga = {0, 0, 10, 0, 0};
    const Bytes greyTarga = {0, 0, 3, 0, 0};
    const Bytes greyRunLengthTarga = {0, 0, 11, 0, 0};
    const Bytes targaWithIdAndMap = {7, 1, 2, 1, 0};
    const Bytes colourMappedTarga = {0, 1, 1, 0, 0};
    const Bytes mapTypeTwoTarga = {0, 2, 2, 0, 0};
    const Bytes jfif = Lit("\xFF\xD8\xFF\xE0\x00\x10JFIF\0");
    const Bytes exif =
        Lit("\xFF\xD8\xFF\xE1\x12\x34"
            "Exif\0");
    const Bytes tablesFirst = Lit("\xFF\xD8\xFF\xDB\x00\x43\x00\x01\x02\x03");
    const Bytes map = BytesOf("GRAT\x01\x02");
    const Bytes wave = Lit("RIFF\x24\0\0\0WAVE");
    const struct {
        const wchar_t* name;
        Bytes bytes;
        PreviewType expected;
    } cases[] = {
        {L"data\\texture\\a.bmp", bitmap, PREVIEW_BMP},
        {L"data\\a.bmp.bak", bitmap, PREVIEW_BMP},  // anywhere in the name
        {L"data\\A.BMP", bitmap, PREVIEW_BMP},      // letters in any case
        {L"data\\a.Bmp", bitmap, PREVIEW_BMP},
        {L"data\\a.tga", bitmap, PREVIEW_NONE},  // bytes of one kind, name of another
        {L"data\\sprite\\x.spr", sprite, PREVIEW_SPR},
        {L"data\\sprite\\X.SPR", sprite, PREVIEW_SPR},
        {L"data\\sprite\\x.spr", spriteWithoutFrames, PREVIEW_NONE},
        {L"data\\sprite\\x.spr", trueColourOnlySprite, PREVIEW_SPR},
        {L"data\\sprite\\x.spr", oldSpriteWithoutFrames, PREVIEW_NONE},
        {L"a.tga", targa, PREVIEW_TGA},
        {L"a.TGA", runLengthTarga, PREVIEW_TGA},
        {L"a.tga", greyTarga, PREVIEW_TGA},
        {L"a.tga", greyRunLengthTarga, PREVIEW_TGA},
        {L"a.tga", targaWithIdAndMap, PREVIEW_TGA},
        {L"a.tga", colourMappedTarga, PREVIEW_NONE},
        {L"a.tga", mapTypeTwoTarga, PREVIEW_NONE},
        {L"photo.jpg", jfif, PREVIEW_JPG},
        {L"photo.jpg", exif, PREVIEW_JPG},
        {L"photo.jpeg", jfif, PREVIEW_JPG},
        {L"PHOTO.JPEG", exif, PREVIEW_JPG},
        {L"photo.jpg", tablesFirst, PREVIEW_NONE},
        {L"data\\prontera.gat", map, PREVIEW_GAT},
        {L"data\\wav\\hit.wav", wave, PREVIEW_WAV},
        {L"data\\hit.avi", wave, PREVIEW_NONE},
        // A name that matches an earlier kind does not end the search.
        {L"data\\a.bmp.wav", wave, PREVIEW_WAV},
        // An empty entry is all zeros: even the targa test needs byte 2.
        {L"empty.tga", {}, PREVIEW_NONE},
        {L"", bitmap, PREVIEW_NONE},
    };
    for (const auto& c : cases) {
        Bytes block = Block(c.bytes);
        EXPECT_EQ(DetectPreviewType(c.name, block.data()), c.expected)
            << Narrow(c.name) << " with " << c.bytes.size() << " bytes";
    }
    EXPECT_EQ(DetectPreviewType(L"a.bmp", nullptr), PREVIEW_NONE);
    Bytes block = Block(bitmap);
    EXPECT_EQ(DetectPreviewType(nullptr, block.data()), PREVIEW_NONE);
}

TEST(DetectEntryType, AnimationsPalettesAndTextAfterThePictureKinds) {
    const Bytes animation = {'A', 'C', 5, 2, 1, 0};
    const Bytes palette(1024, 7);
    const Bytes shortPalette(1023, 7);
    const Bytes compiledLua = Lit("\x1bLuaQ\0\1\4");
    const Bytes korean = {0xBE, 0xC8, 0xB3, 0xE7, '\r', '\n'};  // code page 949
    const Bytes binary = {'G', 'N', 'D', 0, 1, 2, 0, 0};
    const Bytes bitmap = BytesOf("BM");
    const struct {
        const wchar_t* name;
        Bytes bytes;
        PreviewType expected;
    } cases[] = {
        {L"data\\sprite\\a.act", animation, PREVIEW_ACT},
        {L"data\\sprite\\A.ACT", animation, PREVIEW_ACT},
        {L"data\\sprite\\a.act", binary, PREVIEW_NONE},  // not "AC"
        {L"data\\palette\\a.pal", palette, PREVIEW_PAL},
        {L"data\\palette\\a.pal", shortPalette, PREVIEW_NONE},  // neither palette nor text
        {L"data\\palette\\b.pal", BytesOf("1023 bytes"), PREVIEW_TEXT},
        {L"data\\a.PAL", Bytes(1024, 0), PREVIEW_PAL},
        {L"data\\readme.txt", binary, PREVIEW_TEXT},  // the name decides
        {L"data\\LUAFILES514\\x.LUB", BytesOf("x = 1"), PREVIEW_TEXT},
        {L"data\\x.lub", compiledLua, PREVIEW_TEXT},
        {L"data\\noextension", compiledLua, PREVIEW_TEXT},
        {L"data\\notes", korean, PREVIEW_TEXT},  // bytes that are text
        {L"data\\map.gnd", binary, PREVIEW_NONE},
        {L"data\\empty", {}, PREVIEW_NONE},
        {L"data\\a.bmp", bitmap, PREVIEW_BMP},  // the picture kinds come first
    };
    for (const auto& c : cases) {
        Bytes block = Block(c.bytes);
        EXPECT_EQ(DetectEntryType(c.name, block.data(), uint32_t(c.bytes.size())), c.expected)
            << Narrow(c.name);
    }
    EXPECT_EQ(DetectEntryType(L"a.txt", nullptr, 0), PREVIEW_NONE);
    Bytes block = Block(animation);
    EXPECT_EQ(DetectEntryType(nullptr, block.data(), 6), PREVIEW_NONE);
}

TEST(PreviewWindowSize, AtLeast256By64OtherwiseThePictureStripAndFrame) {
    const PreviewFrameMetrics metrics = {1, 1, 15};
    const PreviewFrameMetrics tallCaption = {2, 3, 40};
    const struct {
        int32_t width, height;
        const PreviewFrameMetrics* metrics;
        int32_t expectedWidth, expectedHeight;
    } cases[] = {
        {10, 10, &metrics, 256, 64},           // 10 + 15 + 4 + 26 = 55
        {10, 10, &tallCaption, 256, 88},       // 10 + 40 + 12 + 26
        {1000, 500, &metrics, 1006, 545},      // + 4 + 2, + 15 + 4 + 26
        {1000, 500, &tallCaption, 1010, 578},  // + 8 + 2, + 40 + 12 + 26
        {250, 19, &metrics, 256, 64},          // both exactly at the least
        {251, 20, &metrics, 257, 65},         {0, 0, &metrics, 256, 64},
    };
    for (const auto& c : cases) {
        PreviewWindowSize size = PreviewWindowSizeFor(c.width, c.height, c.metrics);
        EXPECT_EQ(size.width, c.expectedWidth) << c.width << " x " << c.height;
        EXPECT_EQ(size.height, c.expectedHeight) << c.width << " x " << c.height;
    }
}

TEST(FitPreviewContent, ScaledDownToTheWorkAreaZoomedInWhileItFits) {
    const PreviewFrameMetrics metrics = {1, 1, 15};  // the frame adds 6 x 45
    const PreviewArea screen = {1280, 1024};         // room for 1274 x 979
    const PreviewArea small = {500, 300};            // room for 494 x 255
    const PreviewArea tiny = {100, 50};              // room for 94 x 5
    struct Expected {
        uint32_t percent;
        int32_t shownWidth, shownHeight, contentY;
        PreviewWindowSize window;
    };
    const struct {
        const char* what;
        PreviewContent content;  // width, height, zoom, picture, tools row, rows' width
        const PreviewArea* area;
        Expected expected;
    } cases[] = {
        {"small, as it is", {10, 10, 1, true, false, 0}, &screen, {100, 10, 10, 24, {256, 64}}},
        {"zoomed 3 times", {10, 10, 3, true, false, 0}, &screen, {300, 30, 30, 24, {256, 75}}},
        {"zoom kept to 8", {10, 10, 20, true, false, 0}, &screen, {800, 80, 80, 24, {256, 125}}},
        {"zoom kept to what fits",
         {600, 400, 3, true, false, 0},
         &screen,
         {200, 1200, 800, 24, {1206, 845}}},
        {"exactly the room",
         {1274, 979, 2, true, false, 0},
         &screen,
         {100, 1274, 979, 24, {1280, 1024}}},
        {"a pixel too wide",
         {1275, 979, 1, true, false, 0},
         &screen,
         {99, 1262, 969, 24, {1268, 1014}}},
        {"large", {4000, 3000, 1, true, false, 0}, &screen, {31, 1240, 930, 24, {1246, 975}}},
        {"large, zoom ignored",
         {4000, 3000, 4, true, false, 0},
         &screen,
         {31, 1240, 930, 24, {1246, 975}}},
        {"tall", {100, 10000, 1, true, false, 0}, &screen, {9, 9, 900, 24, {256, 945}}},
        {"no room at all", {1000, 1000, 1, true, false, 0}, &tiny, {1, 10, 10, 24, {256, 64}}},
        {"with the tools row", {10, 10, 1, true, true, 0}, &screen, {100, 10, 10, 50, {256, 81}}},
        {"tools row takes zoom room",
         {300, 470, 3, true, true, 0},
         &screen,
         {200, 600, 940, 50, {606, 1011}}},
        {"rows wider than the picture",
         {10, 10, 1, true, true, 350},
         &screen,
         {100, 10, 10, 50, {356, 81}}},
        {"text", {640, 400, 1, false, false, 0}, &screen, {100, 640, 400, 24, {646, 445}}},
        {"text cut, never zoomed",
         {640, 400, 5, false, false, 0},
         &small,
         {100, 494, 255, 24, {500, 300}}},
        {"nothing", {0, 0, 1, true, false, 0}, &screen, {100, 1, 1, 24, {256, 64}}},
    };
    for (const auto& c : cases) {
        PreviewFit fit = FitPreviewContent(&c.content, &metrics, c.area);
        EXPECT_EQ(fit.percent, c.expected.percent) << c.what;
        EXPECT_EQ(fit.shownWidth, c.expected.shownWidth) << c.what;
        EXPECT_EQ(fit.shownHeight, c.expected.shownHeight) << c.what;
        EXPECT_EQ(fit.contentY, c.expected.contentY) << c.what;
        EXPECT_EQ(fit.window.width, c.expected.window.width) << c.what;
        EXPECT_EQ(fit.window.height, c.expected.window.height) << c.what;
    }
    // Without tools or rows of their own, a picture at 100% gets exactly the
    // window PreviewWindowSizeFor gives.
    PreviewContent plain = {1000, 500, 1, true, false, 0};
    PreviewWindowSize size = PreviewWindowSizeFor(1000, 500, &metrics);
    PreviewFit fit = FitPreviewContent(&plain, &metrics, &screen);
    EXPECT_EQ(fit.window.width, size.width);
    EXPECT_EQ(fit.window.height, size.height);
}

TEST(PreviewTypeNameX, MovesRightOnlyWhenTheCounterWouldReachIt) {
    EXPECT_EQ(PreviewTypeNameX(0), PREVIEW_TYPE_X);
    EXPECT_EQ(PreviewTypeNameX(77), PREVIEW_TYPE_X);  // 135 + 77 + 8 = 220
    EXPECT_EQ(PreviewTypeNameX(78), PREVIEW_TYPE_X + 1);
    EXPECT_EQ(PreviewTypeNameX(200), 343);
}

TEST(PreviewButtonAt, HitAreasIncludeTheirBounds) {
    const struct {
        int32_t x, y;
        PreviewButton expected;
    } cases[] = {
        {89, 10, PREVIEW_BUTTON_NONE},   {90, 10, PREVIEW_BUTTON_WRITE},
        {131, 10, PREVIEW_BUTTON_WRITE}, {132, 10, PREVIEW_BUTTON_NONE},
        {100, 2, PREVIEW_BUTTON_NONE},   {100, 3, PREVIEW_BUTTON_WRITE},
        {100, 21, PREVIEW_BUTTON_WRITE}, {100, 22, PREVIEW_BUTTON_NONE},
        {2, 10, PREVIEW_BUTTON_NONE},    {3, 10, PREVIEW_BUTTON_PREV},
        {43, 10, PREVIEW_BUTTON_PREV},   {44, 10, PREVIEW_BUTTON_NONE},
        {45, 10, PREVIEW_BUTTON_NONE},   {46, 10, PREVIEW_BUTTON_NEXT},
        {87, 10, PREVIEW_BUTTON_NEXT},   {88, 10, PREVIEW_BUTTON_NONE},
        {20, 2, PREVIEW_BUTTON_NONE},    {60, 22, PREVIEW_BUTTON_NONE},
        {20, 3, PREVIEW_BUTTON_PREV},    {60, 21, PREVIEW_BUTTON_NEXT},
        {-100, 10, PREVIEW_BUTTON_NONE}, {20, -5, PREVIEW_BUTTON_NONE},
        {150, 30, PREVIEW_BUTTON_NONE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PreviewButtonAt(c.x, c.y), c.expected) << "(" << c.x << ", " << c.y << ")";
    }
}

TEST(BmpFileHeader, SizeIsFourteenPlusTheBlockAndPixelsFollowTheInfoHeader) {
    uint8_t header[BMP_FILE_HEADER_SIZE];
    memset(header, 0xAA, sizeof(header));
    PutBmpFileHeader(header, 40 + 96000, 40);
    const Bytes expected = {'B', 'M', 0x36, 0x77, 0x01, 0x00, 0, 0, 0, 0, 54, 0, 0, 0};
    EXPECT_EQ(Bytes(header, header + sizeof(header)), expected);
}

// A wave entry: "RIFF", a size, "WAVE", then the chunks as given.
Bytes Wave(const std::vector<Bytes>& chunks, uint32_t riffSize = 0) {
    Bytes wave = Lit("RIFF\0\0\0\0WAVE");
    for (const Bytes& chunk : chunks) wave.insert(wave.end(), chunk.begin(), chunk.end());
    PutLe32At(&wave, 4, riffSize ? riffSize : uint32_t(wave.size() - 8));
    return wave;
}

Bytes Chunk(const char* id, uint32_t declared, size_t held) {
    Bytes chunk(id, id + 4);
    chunk.resize(8, 0);
    PutLe32At(&chunk, 4, declared);
    chunk.resize(8 + held, 0x11);
    return chunk;
}

Bytes Chunk(const char* id, uint32_t size) {
    return Chunk(id, size, size + (size & 1));  // with its pad byte
}

TEST(FitWaveToEntry, ChunksUpToTheSoundMustLieInsideTheEntry) {
    const Bytes format = Chunk("fmt ", 16);
    const struct {
        const char* what;
        Bytes wave;
        bool playable;
    } cases[] = {
        {"format and data", Wave({format, Chunk("data", 100)}), true},
        {"other chunks first, one of odd size with its pad byte",
         Wave({Chunk("LIST", 3), Chunk("data", 4), format, Chunk("fact", 4), Chunk("data", 8)}),
         true},
        {"a long format chunk", Wave({Chunk("fmt ", 18), Chunk("data", 2)}), true},
        {"a wrong size of the whole file", Wave({format, Chunk("data", 8)}, 0x7FFFFFFF), true},
        {"no data chunk", Wave({format}), false},
        {"data only before the format", Wave({Chunk("data", 8), format}), false},
        {"a format too short to read", Wave({Chunk("fmt ", 14), Chunk("data", 8)}), false},
        {"a format beyond the entry", Wave({Chunk("fmt ", 40, 16), Chunk("data", 8)}), false},
        {"a chunk beyond the entry before the data",
         Wave({format, Chunk("LIST", 0xFFFFFFF0u, 4), Chunk("data", 8)}), false},
        {"not a wave", Lit("RIFF\x10\0\0\0AVI fmt "), false},
        {"too short for its form", Lit("RIFF\x04\0\0\0WAV"), false},
    };
    for (const auto& c : cases) {
        Bytes entry = c.wave;
        Bytes block = Block(entry);
        EXPECT_EQ(FitWaveToEntry(block.data(), uint32_t(entry.size())), c.playable) << c.what;
        EXPECT_EQ(Bytes(block.begin(), block.begin() + entry.size()), entry)
            << c.what << ": nothing changed";
    }
    EXPECT_FALSE(FitWaveToEntry(nullptr, 0));
}

TEST(FitWaveToEntry, ATruncatedSoundPlaysWhatTheEntryHolds) {
    Bytes entry = Wave({Chunk("fmt ", 16), Chunk("data", 50000, 30)});
    Bytes block = Block(entry);
    ASSERT_TRUE(FitWaveToEntry(block.data(), uint32_t(entry.size())));
    Bytes expected = entry;
    PutLe32At(&expected, 12 + 24 + 4, 30);  // the data chunk's size: what is there
    EXPECT_EQ(Bytes(block.begin(), block.begin() + entry.size()), expected);
    EXPECT_EQ(block[entry.size()], 0) << "nothing written past the entry";
}

}  // namespace
