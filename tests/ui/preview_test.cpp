// The preview as a user meets it: double-clicking rows opens the viewer
// fitted to each kind of picture with its counter and type name, sprites
// step through their frames, write saves a new bitmap file, and sounds,
// unrecognised and unreadable entries close the viewer.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "grf_builder.h"
#include "picture_util.h"
#include "preview.h"
#include "preview_bitmap_win32.h"
#include "preview_window.h"
#include "program_test.h"
#include "resource.h"
#include "services.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

using Preview = ProgramTest;

const wchar_t SAVE_TITLE[] = L"Save As";

// ---------------------------------------------------------------------------
// Entries.

// A 24-bit bitmap file whose pixel (x, y), y counted from the top, has the
// colour colourAt(x, y) as 0xRRGGBB.
template <typename ColourAt>
Bytes BitmapFile(int32_t width, int32_t height, ColourAt colourAt) {
    uint32_t stride = RoundUpTo4(uint32_t(width) * 3);
    Bytes pixels(size_t(stride) * height, 0);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels.data() + size_t(height - 1 - y) * stride;  // bottom row first
        for (int32_t x = 0; x < width; ++x) {
            uint32_t rgb = colourAt(x, y);
            row[3 * x] = uint8_t(rgb);
            row[3 * x + 1] = uint8_t(rgb >> 8);
            row[3 * x + 2] = uint8_t(rgb >> 16);
        }
    }
    return MakeBmp(width, height, 24, 0, {}, pixels);
}

const uint32_t MAGENTA = 0xFF00FF;

// 10 x 10: a colour ramp with a magenta cross through it.
uint32_t SmallColour(int32_t x, int32_t y) {
    if (x == 4 || y == 6) return MAGENTA;
    return uint32_t(x * 25) << 16 | uint32_t(y * 25) << 8 | 0x40;
}

// Palette indices of one sprite frame: an ellipse of colours on index 0.
Bytes SpriteIndices(uint16_t width, uint16_t height, int shift) {
    Bytes indices;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double dx = (x + 0.5) / width - 0.5;
            double dy = (y + 0.5) / height - 0.5;
            bool inside = dx * dx + dy * dy < 0.24;
            indices.push_back(inside ? uint8_t(1 + (x * 3 + y * 5 + shift) % 254) : 0);
        }
    }
    return indices;
}

struct FrameSize {
    uint16_t width, height;
};

// Version 2.0 sprite (raw frames) of these sizes over the ramp palette,
// whose entry 0 is green: the colour of every frame's top-left pixel.
Bytes Sprite(const std::vector<FrameSize>& sizes) {
    std::vector<Bytes> records;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const FrameSize& size = sizes[i];
        records.push_back(RawRecord(size.width, size.height,
                                    SpriteIndices(size.width, size.height, int(i) * 40)));
    }
    return MakeSpr(0, 2, uint16_t(sizes.size()), records, RampPalette());
}

// A map of rolling hills.
Bytes Map(uint32_t width, uint32_t height) {
    std::vector<GatCell> cells;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float h = float(-70.0 * sin(x / 11.0) * cos(y / 8.0) - 20.0 * sin((x + y) / 5.0));
            cells.push_back({{h, h, h, h}, 0});
        }
    }
    return MakeGat(width, height, cells);
}

Bytes Jpeg(uint32_t width, uint32_t height) {
    Bytes samples;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            samples.insert(samples.end(), {uint8_t(x * 4), uint8_t(y * 4), 128});
        }
    }
    return EncodeJpeg(width, height, 3, samples);
}

Bytes Targa(int16_t width, int16_t height) {
    return MakeTga(24, width, height, RandomBytes(size_t(width) * height * 3, 5));
}

// A sound: a square wave of a second.
Bytes Wave() {
    Bytes wave = BytesOf("RIFF");
    wave.resize(44, 0);
    memcpy(wave.data() + 8, "WAVEfmt ", 8);
    PutLe32At(&wave, 16, 16);
    PutLe16At(&wave, 20, 1);     // PCM
    PutLe16At(&wave, 22, 1);     // mono
    PutLe32At(&wave, 24, 8000);  // samples per second
    PutLe32At(&wave, 28, 8000);  // bytes per second
    PutLe16At(&wave, 32, 1);     // block
    PutLe16At(&wave, 34, 8);     // bits
    memcpy(wave.data() + 36, "data", 4);
    for (int i = 0; i < 8000; ++i) wave.push_back((i / 20) % 2 ? 200 : 56);
    PutLe32At(&wave, 40, 8000);
    PutLe32At(&wave, 4, uint32_t(wave.size() - 8));
    return wave;
}

// ---------------------------------------------------------------------------
// The viewer as the user sees it.

struct FoundWindow {
    const wchar_t* className;
    bool visibleOnly;
    HWND skip;
    HWND window;
};

BOOL CALLBACK FindOfClass(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundWindow*>(context);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (window == found->skip || wcscmp(name, found->className) != 0) return TRUE;
    if (found->visibleOnly && !IsWindowVisible(window)) return TRUE;
    found->window = window;
    return FALSE;
}

// A top-level window of the program of that class, or null.
HWND ProgramWindow(const Program& program, const wchar_t* className, bool visibleOnly = true) {
    FoundWindow found = {className, visibleOnly, program.dialog, nullptr};
    EnumThreadWindows(program.threadId, FindOfClass, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

// The viewer while it is shown.
HWND PreviewWindow(const Program& program) {
    return ProgramWindow(program, L"CASKWRIGHT");
}

// The viewer, shown or not: null once it is destroyed.
HWND AnyPreviewWindow(const Program& program) {
    return ProgramWindow(program, L"CASKWRIGHT", false);
}

// Width and height of the whole window.
using Size = std::pair<int, int>;

Size WindowSize(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// The size the viewer is to have for a picture, with this system's frame.
Size FittedSize(int32_t width, int32_t height) {
    PreviewFrameMetrics metrics = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER),
                                   GetSystemMetrics(SM_CYSMCAPTION)};
    PreviewWindowSize size = PreviewWindowSizeFor(width, height, &metrics);
    return {size.width, size.height};
}

// Pixels as 0xRRGGBB, rows from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t At(int x, int y) const { return rgb[size_t(y) * width + x]; }
};

// Copies width x height from (0, 0) of source into Pixels.
Pixels ReadPixels(HDC source, int width, int height) {
    Pixels pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib) return pixels;
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ held = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    pixels.width = width;
    pixels.height = height;
    const auto* words = static_cast<const uint32_t*>(bits);
    pixels.rgb.assign(words, words + size_t(width) * height);
    for (uint32_t& p : pixels.rgb) p &= 0xFFFFFF;
    SelectObject(memory, held);
    DeleteDC(memory);
    DeleteObject(dib);
    return pixels;
}

// The viewer's client area as it is drawn now.
Pixels ClientPixels(const Program& program, HWND window) {
    RunOnUiThread(program, [window] { UpdateWindow(window); });
    RECT client = {};
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    Pixels pixels = ReadPixels(dc, client.right, client.bottom);
    ReleaseDC(window, dc);
    return pixels;
}

uint32_t Background() {
    COLORREF colour = GetSysColor(COLOR_WINDOW);
    return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}

// The counter and type name as the viewer is to draw them right of the
// buttons, over the window's background.
Pixels ExpectedTexts(int width, const std::wstring& counter, const std::wstring& type) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, width, PREVIEW_PICTURE_Y);
    HGDIOBJ held = SelectObject(memory, canvas);
    RECT all = {0, 0, width, PREVIEW_PICTURE_Y};
    FillRect(memory, &all, GetSysColorBrush(COLOR_WINDOW));
    SelectObject(memory, GetStockObject(DEFAULT_GUI_FONT));
    TextOutW(memory, PREVIEW_COUNTER_X, PREVIEW_TEXT_Y, counter.c_str(), int(counter.size()));
    TextOutW(memory, PREVIEW_TYPE_X, PREVIEW_TEXT_Y, type.c_str(), int(type.size()));
    Pixels pixels = ReadPixels(memory, width, PREVIEW_PICTURE_Y);
    SelectObject(memory, held);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Whether the band right of the buttons shows exactly these texts.
::testing::AssertionResult ShowsTexts(const Pixels& client, const std::wstring& counter,
                                      const std::wstring& type) {
    Pixels expected = ExpectedTexts(client.width, counter, type);
    if (client.height < PREVIEW_PICTURE_Y) return ::testing::AssertionFailure() << "no client";
    int first = PREVIEW_STRIP_X + PREVIEW_STRIP_WIDTH + 1;
    for (int y = 0; y < PREVIEW_PICTURE_Y; ++y) {
        for (int x = first; x < client.width; ++x) {
            if (client.At(x, y) != expected.At(x, y)) {
                return ::testing::AssertionFailure()
                       << "not \"" << Narrow(counter) << "\" and \"" << Narrow(type)
                       << "\": pixel (" << x << ", " << y << ") differs";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Double-clicks a row of the entry list, as a user does, and waits until the
// program has handled it.
void Activate(const Program& program, int row) {
    SelectRows(program, {row});
    HWND list = Control(program, IDC_ENTRY_LIST);
    RECT item = {};
    item.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item));
    LPARAM at = MAKELPARAM(item.left + 4, (item.top + item.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    Settle(program);
}

// A press of the left button at client (x, y) of the viewer, handled (a
// dialog it opens may still be open).
void Press(const Program& program, HWND window, int x, int y) {
    LPARAM at = MAKELPARAM(x, y);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
    Settle(program);
}

// A dialog or box of the program other than the main dialog, or null.
HWND OpenDialog(const Program& program) {
    return ProgramWindow(program, L"#32770");
}

struct Shown {
    uint32_t type, frameCount, currentFrame;
    int32_t width, height;
};

Shown CurrentPreview(const Program& program) {
    Shown shown = {};
    RunOnUiThread(program, [&] {
        shown = {g_previewImage.type, g_previewImage.frameCount, g_previewImage.currentFrame,
                 g_previewImage.width, g_previewImage.height};
    });
    return shown;
}

std::wstring Counter(int current, int count) {
    return L"Frame " + std::to_wstring(current) + L" of " + std::to_wstring(count);
}

// ---------------------------------------------------------------------------

TEST_F(Preview, EachPictureKindOpensTheViewerFittedWithItsCounterAndName) {
    LoadDirectly(WriteArchive(
        L"pictures.grf", {{"data\\small.bmp", BitmapFile(10, 10, SmallColour)},
                          {"data\\wide.bmp", BitmapFile(1000, 500,
                                                        [](int32_t x, int32_t y) {
                                                            return uint32_t(x % 256) << 16 |
                                                                   uint32_t(y % 256);
                                                        })},
                          {"data\\texture\\wall.tga", Targa(300, 40)},
                          {"data\\texture\\photo.jpg", Jpeg(64, 48)},
                          {"data\\sprite\\monster.spr", Sprite({{64, 64}, {90, 120}, {30, 20}})},
                          {"data\\field.gat", Map(120, 80)}}));
    const struct {
        int row;
        int32_t width, height;
        const wchar_t* type;
        int frames;
    } rows[] = {
        {0, 10, 10, L"BMP", 1}, {1, 1000, 500, L"BMP", 1}, {2, 300, 40, L"TGA", 1},
        {3, 64, 48, L"JPG", 1}, {4, 64, 64, L"SPR", 3},    {5, 120, 80, L"GAT", 1},
    };
    EXPECT_EQ(FittedSize(10, 10).first, 256);
    for (const auto& r : rows) {
        Activate(program, r.row);
        HWND viewer = PreviewWindow(program);
        ASSERT_NE(viewer, nullptr) << "row " << r.row;
        EXPECT_EQ(WindowText(viewer), L"Caskwright Viewer");
        EXPECT_EQ(GetWindowLongPtrW(viewer, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
        EXPECT_EQ(WindowSize(viewer), FittedSize(r.width, r.height)) << "row " << r.row;
        Shown shown = CurrentPreview(program);
        EXPECT_EQ(shown.width, r.width) << "row " << r.row;
        EXPECT_EQ(shown.height, r.height) << "row " << r.row;
        EXPECT_TRUE(ShowsTexts(ClientPixels(program, viewer), Counter(1, r.frames), r.type))
            << "row " << r.row;
        if (r.row == 5) {
            std::wstring shot = SaveScreenshot(viewer, L"preview-map");
            EXPECT_NE(shot, L"");
            printf("screenshot: %ls\n", shot.c_str());
        }
    }

    // Magenta pixels of a bitmap show the window's background.
    Activate(program, 0);
    ASSERT_NE(PreviewWindow(program), nullptr);
    Pixels client = ClientPixels(program, PreviewWindow(program));
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            uint32_t colour = SmallColour(x, y);
            uint32_t expected = colour == MAGENTA ? Background() : colour;
            ASSERT_EQ(client.At(x, PREVIEW_PICTURE_Y + y), expected) << x << ", " << y;
        }
    }
    // Right of and below the picture: the background.
    EXPECT_EQ(client.At(10, PREVIEW_PICTURE_Y), Background());
}

TEST_F(Preview, SpriteFramesStepRefitAndStopAtBothEnds) {
    const std::vector<FrameSize> frames = {{260, 50}, {300, 70}, {12, 8}};
    LoadDirectly(
        WriteArchive(L"sprite.grf", {{"data\\sprite\\monster.spr", Sprite(frames)},
                                     {"data\\small.bmp", BitmapFile(10, 10, SmallColour)}}));
    Activate(program, 0);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);

    // The sprite's own background, the colour of its top-left pixel, is
    // left out: the window's background shows there.
    Pixels client = ClientPixels(program, viewer);
    EXPECT_EQ(client.At(0, PREVIEW_PICTURE_Y), Background());
    EXPECT_EQ(client.At(259, PREVIEW_PICTURE_Y + 49), Background());
    EXPECT_NE(client.At(130, PREVIEW_PICTURE_Y + 25), Background()) << "the middle is drawn";
    std::wstring shot = SaveScreenshot(viewer, L"preview-sprite");
    EXPECT_NE(shot, L"");
    printf("screenshot: %ls\n", shot.c_str());

    const int PREV_X = 20, NEXT_X = 60, BUTTON_Y = 10;
    const struct {
        int x, y;
        int frameAfter;
    } presses[] = {
        {PREV_X, BUTTON_Y, 1},  // prev at the first frame
        {NEXT_X, 2, 1},         // above the buttons
        {NEXT_X, 22, 1},        // below them
        {NEXT_X, BUTTON_Y, 2}, {NEXT_X, BUTTON_Y, 3},
        {NEXT_X, BUTTON_Y, 3},  // next at the last frame
        {45, BUTTON_Y, 3},      // between the buttons
        {PREV_X, 22, 3},       {PREV_X, BUTTON_Y, 2},
        {PREV_X, 3, 1},  // the top row of the area
    };
    for (const auto& press : presses) {
        Press(program, viewer, press.x, press.y);
        ASSERT_EQ(OpenDialog(program), nullptr);
        Shown shown = CurrentPreview(program);
        int frame = press.frameAfter;
        const FrameSize& size = frames[frame - 1];
        EXPECT_EQ(int(shown.currentFrame), frame) << press.x << ", " << press.y;
        EXPECT_EQ(shown.frameCount, 3u);
        EXPECT_EQ(WindowSize(viewer), FittedSize(size.width, size.height)) << "frame " << frame;
        EXPECT_TRUE(ShowsTexts(ClientPixels(program, viewer), Counter(frame, 3), L"SPR"))
            << press.x << ", " << press.y;
    }

    // Activating the sprite again starts over at frame 1.
    Press(program, viewer, NEXT_X, BUTTON_Y);
    Activate(program, 0);
    EXPECT_EQ(CurrentPreview(program).currentFrame, 1u);
    EXPECT_TRUE(ShowsTexts(ClientPixels(program, viewer), Counter(1, 3), L"SPR"));

    // On any other picture prev and next do nothing.
    Activate(program, 1);
    ASSERT_EQ(PreviewWindow(program), viewer) << "the same window shows the next picture";
    for (int x : {PREV_X, NEXT_X}) {
        Press(program, viewer, x, BUTTON_Y);
        Shown shown = CurrentPreview(program);
        EXPECT_EQ(shown.currentFrame, 1u);
        EXPECT_EQ(shown.frameCount, 1u);
        EXPECT_EQ(WindowSize(viewer), FittedSize(10, 10));
        EXPECT_TRUE(ShowsTexts(ClientPixels(program, viewer), Counter(1, 1), L"BMP"));
    }
}

// A saved bitmap file, read back.
struct SavedBitmap {
    Bytes bytes;
    uint32_t Field32(size_t at) const {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    }
    uint16_t Field16(size_t at) const { return uint16_t(bytes[at] | bytes[at + 1] << 8); }
    // Pixel (x, y), y from the top, as 0xRRGGBB; rows stored bottom first.
    uint32_t At(int x, int y) const {
        int32_t width = int32_t(Field32(18));
        int32_t height = int32_t(Field32(22));
        uint32_t bytesPerPixel = Field16(28) / 8u;
        size_t stride = RoundUpTo4(uint32_t(width) * bytesPerPixel);
        const uint8_t* p = bytes.data() + Field32(10) + size_t(height - 1 - y) * stride +
                           size_t(x) * bytesPerPixel;
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
};

TEST_F(Preview, WriteSavesANewBitmapFileOnlyInsideItsButton) {
    LoadDirectly(WriteArchive(L"save.grf", {{"data\\small.bmp", BitmapFile(10, 10, SmallColour)}}));
    Activate(program, 0);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);

    // Just outside the write button: nothing opens.
    for (POINT outside : {POINT{89, 10}, POINT{132, 10}, POINT{100, 2}, POINT{100, 22}}) {
        Press(program, viewer, outside.x, outside.y);
        EXPECT_EQ(OpenDialog(program), nullptr) << outside.x << ", " << outside.y;
    }
    // Its edges: the save dialog offering bitmap files, here cancelled,
    // which writes nothing.
    for (POINT edge : {POINT{90, 10}, POINT{131, 10}, POINT{100, 3}}) {
        Press(program, viewer, edge.x, edge.y);
        Box dialog;
        ASSERT_TRUE(WaitForBox(program, &dialog, SAVE_TITLE)) << edge.x << ", " << edge.y;
        EXPECT_EQ(FileTypes(dialog), std::vector<std::wstring>{L"Bitmap Image (*.bmp)"});
        EXPECT_TRUE(ChooseFile(program, SAVE_TITLE, L""));
        Settle(program);
    }

    // A name typed without an extension is the file's whole name.
    std::wstring path = dir.Join(L"saved");
    Press(program, viewer, 100, 21);
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, path));
    Settle(program);
    EXPECT_EQ(OpenDialog(program), nullptr) << "no error";
    EXPECT_FALSE(FileExists(path + L".bmp"));
    SavedBitmap saved;
    ASSERT_TRUE(ReadFileBytes(path, &saved.bytes));
    ASSERT_GE(saved.bytes.size(), 54u);
    EXPECT_EQ(saved.bytes[0], 'B');
    EXPECT_EQ(saved.bytes[1], 'M');
    EXPECT_EQ(saved.Field32(10), 54u) << "pixel data offset";
    EXPECT_EQ(saved.Field32(14), 40u);
    EXPECT_EQ(saved.Field32(18), 10u);
    EXPECT_EQ(saved.Field32(22), 10u) << "positive: the bottom row first";
    EXPECT_EQ(saved.Field16(26), 1u);
    EXPECT_EQ(saved.Field32(30), uint32_t(BI_RGB));
    uint32_t imageSize = saved.Field32(34);
    EXPECT_EQ(saved.Field32(2), 54u + imageSize) << "file size field";
    EXPECT_EQ(saved.bytes.size(), 54u + imageSize);
    uint16_t bits = saved.Field16(28);
    ASSERT_TRUE(bits == 24 || bits == 32) << bits;
    ASSERT_GE(imageSize, RoundUpTo4(10u * bits / 8) * 10);
    // The picture itself, magenta included.
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) ASSERT_EQ(saved.At(x, y), SmallColour(x, y)) << x << ", " << y;
    }

    // An existing file is never replaced.
    const Bytes kept = BytesOf("not to be overwritten");
    ASSERT_TRUE(WriteFileBytes(path, kept));
    Press(program, viewer, 110, 12);
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, path));
    EXPECT_EQ(TakeError(program), L"Saving bitmap preview failed!");
    Settle(program);
    Bytes after;
    ASSERT_TRUE(ReadFileBytes(path, &after));
    EXPECT_EQ(after, kept);
    EXPECT_NE(PreviewWindow(program), nullptr) << "the picture stays on show";
}

TEST_F(Preview, SoundsAndEntriesWithoutAPictureCloseTheViewer) {
    Bytes jfif = Jpeg(8, 8);
    // The same picture without its APP0 segment (marker and 16 bytes): its
    // first segment is a table, so no identifier follows the start.
    Bytes tablesFirst(jfif.begin() + 18, jfif.end());
    tablesFirst[0] = 0xFF;
    tablesFirst[1] = 0xD8;
    LoadDirectly(WriteBytes(
        L"mixed.grf",
        BuildStoredArchive(
            0x200, {StoreContent(0x200, "data\\small.bmp", BitmapFile(10, 10, SmallColour)),
                    StoreContent(0x200, "data\\wav\\hit.wav", Wave()),
                    StoreContent(0x200, "data\\UPPER.BMP", BytesOf("BM and nothing more")),
                    StoreContent(0x200, "data\\photo.jpeg", Bytes(jfif.begin(), jfif.begin() + 20)),
                    StoreContent(0x200, "data\\tables.jpg", tablesFirst),
                    StoreContent(0x200, "data\\empty.spr", MakeSpr(0, 2, 0, {}, RampPalette())),
                    StoreContent(0x200, "data\\nothing.tga", {}),
                    StoreContent(0x200, "data\\hit.avi", Wave()),
                    StoreContent(0x200, "data\\notes.txt", BytesOf("plain text")),
                    StoreContent(0x200, "data\\bad.bmp", BytesOf("BM but no bitmap at all")),
                    UnreadableEntry("data\\broken.bmp")})));
    const struct {
        int row;
        uint32_t type;
        bool hasData;
    } closing[] = {
        {1, PREVIEW_WAV, true},     // a sound: played, never shown
        {2, PREVIEW_BMP, true},     // upper-case .BMP, recognised, no bitmap in it
        {3, PREVIEW_JPG, true},     // .jpeg, recognised, no image after its header
        {4, PREVIEW_NONE, true},    // no JFIF or Exif identifier
        {5, PREVIEW_NONE, true},    // a sprite without frames
        {6, PREVIEW_NONE, true},    // empty
        {7, PREVIEW_NONE, true},    // RIFF without .wav
        {8, PREVIEW_NONE, true},    // nothing known
        {9, PREVIEW_BMP, true},     // recognised, but the decoder gives no picture
        {10, PREVIEW_NONE, false},  // does not read
    };
    for (const auto& c : closing) {
        Activate(program, 0);
        ASSERT_NE(PreviewWindow(program), nullptr) << "before row " << c.row;
        Activate(program, c.row);
        EXPECT_EQ(PreviewWindow(program), nullptr) << "row " << c.row;
        EXPECT_EQ(AnyPreviewWindow(program), nullptr) << "destroyed, row " << c.row;
        EXPECT_EQ(OpenDialog(program), nullptr) << "no message, row " << c.row;
        Shown shown = CurrentPreview(program);
        EXPECT_EQ(shown.type, c.type) << "row " << c.row;
        EXPECT_EQ(shown.width, 0) << "row " << c.row;
        bool hasData = false;
        RunOnUiThread(program, [&] { hasData = g_previewImage.data != nullptr; });
        EXPECT_EQ(hasData, c.hasData) << "row " << c.row;
    }

    // A sound playing from the current entry's bytes, then the next entry
    // in its place, twice over: the sound is stopped before its bytes go.
    for (int round = 0; round < 2; ++round) {
        Activate(program, 1);
        Activate(program, 0);
        EXPECT_NE(PreviewWindow(program), nullptr);
    }

    // The user's close box: the window goes, the picture stays the current
    // preview, and the next picture opens the window again.
    PostMessageW(PreviewWindow(program), WM_CLOSE, 0, 0);
    Settle(program);
    EXPECT_EQ(AnyPreviewWindow(program), nullptr);
    EXPECT_EQ(CurrentPreview(program).width, 10);
    EXPECT_EQ(WaitIdle(program), L"");
    Activate(program, 0);
    EXPECT_NE(PreviewWindow(program), nullptr);
}

TEST_F(Preview, DeletedRowsStillPreviewAndLocalFilesDoNot) {
    const Bytes picture = BitmapFile(10, 10, SmallColour);
    LoadDirectly(WriteArchive(L"edits.grf", {{"data\\kept.bmp", picture}}));
    // A local file not yet packed: its bytes are on disk, not in an archive.
    ASSERT_TRUE(MakeDirectory(dir.Join(L"local")));
    ASSERT_TRUE(WriteFileBytes(dir.Join(L"local\\new.bmp"), picture));
    uint32_t added = 1;
    RunOnUiThread(program, [&] {
        added = GrfAddFile(g_archive, dir.Join(L"local\\").c_str(), L"data\\new.bmp");
    });
    ASSERT_EQ(added, 0u);
    SelectRows(program, {0});
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(RowCount(program), 2);

    // Read from its archive by name, marked or not.
    Activate(program, 0);
    EXPECT_NE(PreviewWindow(program), nullptr);
    EXPECT_EQ(CurrentPreview(program).width, 10);

    Activate(program, 1);
    EXPECT_EQ(AnyPreviewWindow(program), nullptr);
    EXPECT_EQ(OpenDialog(program), nullptr) << "no message";
    EXPECT_EQ(CurrentPreview(program).width, 0);
}

}  // namespace
