// The preview as a user meets it: double-clicking rows opens the viewer
// fitted to each kind of picture with its counter and type name, sprites
// step through their frames, animations play and step through actions,
// palettes recolour sprites, text shows in a read-only view, write saves a
// new bitmap, PNG or GIF file, large pictures shrink to the screen and small
// ones zoom in, sounds close the viewer and whatever cannot be shown says
// so.
#include <windows.h>

#include <dlgs.h>

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
#include "preview_animation_win32.h"
#include "preview_bitmap_win32.h"
#include "preview_window.h"
#include "preview_window_win32.h"
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

// Palettes: entry 0 magenta (never drawn), the frames' colours at 10 and 20,
// a ramp elsewhere.
const uint32_t OWN_10 = 0xC81E1E, OWN_20 = 0x1EC81E;  // red, green
const uint32_t BLUE_10 = 0x1E1EC8, BLUE_20 = 0xC8C81E;
Bytes Palette(uint32_t at10, uint32_t at20) {
    Bytes palette = RampPalette();
    auto put = [&](int index, uint32_t rgb) {
        palette[4 * index] = uint8_t(rgb >> 16);
        palette[4 * index + 1] = uint8_t(rgb >> 8);
        palette[4 * index + 2] = uint8_t(rgb);
    };
    put(0, MAGENTA);
    put(10, at10);
    put(20, at20);
    return palette;
}

// A 20 x 20 square of one palette index inside a border of index 0.
Bytes Square(uint8_t index) {
    Bytes indices;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            indices.push_back(x < 2 || y < 2 || x >= 18 || y >= 18 ? 0 : index);
    return RawRecord(20, 20, indices);
}

// Version 2.0 sprite: image 0 a square of index 10, image 1 of index 20,
// and true-colour image 2, an opaque blue 10 x 10.
Bytes AnimatedSprite() {
    Bytes blue;
    for (int i = 0; i < 100; ++i) blue.insert(blue.end(), {0, 0, 255, 255});
    return MakeSpr(0, 2, 2, {Square(10), Square(20), RgbaRecord(10, 10, blue)},
                   Palette(OWN_10, OWN_20), 1);
}

LayerSpec Layer(int32_t x, int32_t image, int32_t type = 0) {
    LayerSpec layer;
    layer.x = x;
    layer.image = image;
    layer.type = type;
    return layer;
}

// Three actions: the two squares in turn (a second each); one square moving
// right in three steps; the true-colour image alone.
Bytes Animation3() {
    const std::vector<ActionSpec> actions = {
        {{{{Layer(0, 0)}}, {{Layer(0, 1)}}}, 40},
        {{{{Layer(-10, 0)}}, {{Layer(0, 0)}}, {{Layer(10, 0)}}}, 4},
        {{{{Layer(0, 0, 1)}}}, 4},
    };
    return MakeAct(0x205, actions);
}

// ---------------------------------------------------------------------------
// The viewer as the user sees it.

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
// buttons, over the window's background: the name moved right of a counter
// that would reach it.
Pixels ExpectedTexts(int width, const std::wstring& counter, const std::wstring& type) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, width, PREVIEW_PICTURE_Y);
    HGDIOBJ held = SelectObject(memory, canvas);
    RECT all = {0, 0, width, PREVIEW_PICTURE_Y};
    FillRect(memory, &all, GetSysColorBrush(COLOR_WINDOW));
    SelectObject(memory, GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent = {};
    GetTextExtentPoint32W(memory, counter.c_str(), int(counter.size()), &extent);
    TextOutW(memory, PREVIEW_COUNTER_X, PREVIEW_TEXT_Y, counter.c_str(), int(counter.size()));
    TextOutW(memory, PreviewTypeNameX(extent.cx), PREVIEW_TEXT_Y, type.c_str(), int(type.size()));
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

std::wstring ActionCounter(int action, int actions, int frame, int frames) {
    return L"Action " + std::to_wstring(action) + L" of " + std::to_wstring(actions) + L", frame " +
           std::to_wstring(frame) + L" of " + std::to_wstring(frames);
}

// A control of the viewer, by id, while it is shown; null otherwise.
HWND ShownChild(HWND viewer, int id) {
    HWND child = GetDlgItem(viewer, id);
    return child && IsWindowVisible(child) ? child : nullptr;
}

// A click on one of the viewer's push buttons, handled.
void ClickChild(const Program& program, HWND viewer, int id) {
    PostMessageW(GetDlgItem(viewer, id), BM_CLICK, 0, 0);
    Settle(program);
}

// What the viewer says instead of a picture; "" when it shows none.
std::wstring Notice(HWND viewer) {
    HWND notice = ShownChild(viewer, PREVIEW_ID_NOTICE);
    return notice ? WindowText(notice) : L"";
}

struct Animation {
    bool active;
    uint32_t action, frame, frames;
};

Animation CurrentAnimation(const Program& program) {
    Animation shown = {};
    RunOnUiThread(program, [&] {
        const PreviewAnimation& a = g_previewAnimation;
        shown = {a.active, a.action, a.frame, AnimationFrameCount()};
    });
    return shown;
}

// The viewer's client height: where the content ends.
int ClientHeight(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    return client.bottom;
}

// Pixel (x, y) of a picture read by libpng as red, green, blue, alpha.
uint32_t RgbaAt(const Bytes& rgba, uint32_t width, uint32_t x, uint32_t y) {
    const uint8_t* p = &rgba[4 * (size_t(y) * width + x)];
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
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
        EXPECT_EQ(WindowText(viewer), RowTexts(program, r.row)[5] + L" - Caskwright Viewer");
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
        EXPECT_EQ(FileTypes(dialog),
                  (std::vector<std::wstring>{L"Bitmap Image (*.bmp)", L"PNG Image (*.png)"}));
        EXPECT_TRUE(ChooseFile(program, SAVE_TITLE, L""));
        Settle(program);
    }

    // A name typed without an extension gets the bitmap's.
    std::wstring path = dir.Join(L"saved");
    Press(program, viewer, 100, 21);
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, path));
    Settle(program);
    EXPECT_EQ(OpenDialog(program), nullptr) << "no error";
    EXPECT_FALSE(FileExists(path));
    SavedBitmap saved;
    ASSERT_TRUE(ReadFileBytes(path + L".bmp", &saved.bytes));
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

// The type a file dialog's list shows chosen.
std::wstring ChosenFileType(const Box& box) {
    HWND types = GetDlgItem(box.window, cmb1);
    LRESULT index = types ? SendMessageW(types, CB_GETCURSEL, 0, 0) : -1;
    std::vector<std::wstring> items = FileTypes(box);
    return index >= 0 && size_t(index) < items.size() ? items[size_t(index)] : L"<none>";
}

TEST_F(Preview, WriteTakesTheTypedExtensionAndTheTypeListFollowsIt) {
    LoadDirectly(
        WriteArchive(L"typed.grf", {{"data\\small.bmp", BitmapFile(10, 10, SmallColour)}}));
    Activate(program, 0);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);

    Press(program, viewer, 100, 10);
    Box dialog;
    ASSERT_TRUE(WaitForBox(program, &dialog, SAVE_TITLE));
    EXPECT_EQ(ChosenFileType(dialog), L"Bitmap Image (*.bmp)");
    ASSERT_TRUE(SetFileNameText(dialog, L"picture.PNG"));
    EXPECT_TRUE(WaitUntil([&] { return ChosenFileType(dialog) == L"PNG Image (*.png)"; }, 5000));
    ASSERT_TRUE(SetFileNameText(dialog, L"picture.bmp"));
    EXPECT_TRUE(WaitUntil([&] { return ChosenFileType(dialog) == L"Bitmap Image (*.bmp)"; }, 5000));
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, L""));
    Settle(program);

    // Whatever the list shows when OK is pressed, the name's extension says
    // what is written.
    struct Case {
        const wchar_t* name;
        int listed;  // the type chosen in the list
        std::string starts;
    };
    const Case cases[] = {{L"typed.png", 0, "\x89PNG"}, {L"typed.bmp", 1, "BM"}};
    for (const Case& c : cases) {
        std::wstring path = dir.Join(c.name);
        Press(program, viewer, 100, 10);
        ASSERT_TRUE(WaitForBox(program, &dialog, SAVE_TITLE));
        ASSERT_TRUE(ChooseFileType(dialog, c.listed));
        ASSERT_TRUE(TypeFileName(dialog, path));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog.window); }, 10000));
        Settle(program);
        EXPECT_EQ(OpenDialog(program), nullptr) << "no error";
        Bytes file;
        ASSERT_TRUE(ReadFileBytes(path, &file)) << Narrow(c.name);
        ASSERT_GE(file.size(), c.starts.size());
        EXPECT_EQ(std::string(file.begin(), file.begin() + ptrdiff_t(c.starts.size())), c.starts)
            << Narrow(c.name);
    }
}

const wchar_t UNKNOWN_NOTICE[] = L"The viewer does not know this kind of entry.";
const wchar_t DAMAGED_NOTICE[] =
    L"This entry cannot be shown: its data is damaged, cut short or of a version the viewer "
    L"does not know.";
const wchar_t UNREADABLE_NOTICE[] = L"This entry could not be read from its archive.";

TEST_F(Preview, EntriesWithoutAPictureSaySoAndSoundsCloseTheViewer) {
    Bytes jfif = Jpeg(8, 8);
    // The same picture without its APP0 segment (marker and 16 bytes): its
    // first segment is a table, so no identifier follows the start.
    Bytes tablesFirst(jfif.begin() + 18, jfif.end());
    tablesFirst[0] = 0xFF;
    tablesFirst[1] = 0xD8;
    Bytes shortMap = Map(40, 30);
    shortMap.resize(shortMap.size() - 20);  // the last cell is missing
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
                    StoreContent(0x200, "data\\field.gat", shortMap),
                    StoreContent(0x200, "data\\bad.bmp", BytesOf("BM but no bitmap at all")),
                    UnreadableEntry("data\\broken.bmp")})));
    const struct {
        int row;
        uint32_t type;
        const wchar_t* notice;
        bool hasData;
    } rows[] = {
        {2, PREVIEW_BMP, DAMAGED_NOTICE, true},        // upper-case .BMP, no bitmap in it
        {3, PREVIEW_JPG, DAMAGED_NOTICE, true},        // .jpeg, no image after its header
        {4, PREVIEW_NONE, UNKNOWN_NOTICE, true},       // no JFIF or Exif identifier
        {5, PREVIEW_NONE, UNKNOWN_NOTICE, true},       // a sprite without frames
        {6, PREVIEW_NONE, UNKNOWN_NOTICE, true},       // empty
        {7, PREVIEW_NONE, UNKNOWN_NOTICE, true},       // RIFF without .wav
        {8, PREVIEW_GAT, DAMAGED_NOTICE, true},        // a map too short for its cells
        {9, PREVIEW_BMP, DAMAGED_NOTICE, true},        // recognised, no picture
        {10, PREVIEW_NONE, UNREADABLE_NOTICE, false},  // does not read
    };
    for (const auto& r : rows) {
        Activate(program, 0);
        ASSERT_NE(PreviewWindow(program), nullptr) << "before row " << r.row;
        EXPECT_EQ(Notice(PreviewWindow(program)), L"") << "a picture, no notice";
        Activate(program, r.row);
        HWND viewer = PreviewWindow(program);
        ASSERT_NE(viewer, nullptr) << "row " << r.row;
        EXPECT_EQ(Notice(viewer), r.notice) << "row " << r.row;
        EXPECT_EQ(OpenDialog(program), nullptr) << "no message box, row " << r.row;
        Shown shown = CurrentPreview(program);
        EXPECT_EQ(shown.type, r.type) << "row " << r.row;
        EXPECT_EQ(shown.width, 0) << "row " << r.row;
        EXPECT_TRUE(
            ShowsTexts(ClientPixels(program, viewer), Counter(1, 1), PreviewTypeName(r.type)))
            << "row " << r.row;
        bool hasData = false;
        RunOnUiThread(program, [&] { hasData = g_previewImage.data != nullptr; });
        EXPECT_EQ(hasData, r.hasData) << "row " << r.row;
        if (r.row == 8) {
            std::wstring shot = SaveScreenshot(viewer, L"preview-notice");
            EXPECT_NE(shot, L"");
            printf("screenshot: %ls\n", shot.c_str());
        }
        // Write has no picture to save.
        Press(program, viewer, 100, 10);
        EXPECT_EQ(OpenDialog(program), nullptr) << "row " << r.row;
    }

    // A sound is played, never shown: the viewer closes.
    Activate(program, 0);
    ASSERT_NE(PreviewWindow(program), nullptr);
    Activate(program, 1);
    EXPECT_EQ(AnyPreviewWindow(program), nullptr) << "destroyed";
    EXPECT_EQ(CurrentPreview(program).type, uint32_t(PREVIEW_WAV));

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

TEST_F(Preview, DeletedRowsStillPreviewAndLocalFilesSayTheyDoNotRead) {
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
    // Listed as Add Dir lists it; Delete Sel keeps the rows as they are.
    Click(program, IDC_FILTER);
    ASSERT_EQ(WaitIdle(program), L"");
    SelectRows(program, {0});
    Click(program, IDC_DELETE_SEL);
    ASSERT_EQ(WaitIdle(program), L"");
    ASSERT_EQ(RowCount(program), 2);

    // Read from its archive by name, marked or not.
    Activate(program, 0);
    EXPECT_NE(PreviewWindow(program), nullptr);
    EXPECT_EQ(CurrentPreview(program).width, 10);

    Activate(program, 1);
    ASSERT_NE(PreviewWindow(program), nullptr);
    EXPECT_EQ(Notice(PreviewWindow(program)), UNREADABLE_NOTICE);
    EXPECT_EQ(OpenDialog(program), nullptr) << "no message";
    EXPECT_EQ(CurrentPreview(program).width, 0);
}

TEST_F(Preview, AnAnimationPlaysStepsThroughActionsAndFrames) {
    LoadDirectly(WriteArchive(L"animation.grf", {{"data\\sprite\\monster.act", Animation3()},
                                                 {"data\\sprite\\MONSTER.SPR", AnimatedSprite()},
                                                 {"data\\sprite\\lonely.act", Animation3()}}));
    Activate(program, 0);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(CurrentPreview(program).type, uint32_t(PREVIEW_ACT));
    Animation shown = CurrentAnimation(program);
    ASSERT_TRUE(shown.active) << "the sprite of the same name, in any case, was found";
    EXPECT_EQ(shown.action, 0u);
    EXPECT_EQ(shown.frames, 2u);
    // The canvas of the first action: 20 x 20 under the tools row.
    const int contentY = PREVIEW_PICTURE_Y + PREVIEW_TOOLS_HEIGHT;
    EXPECT_EQ(CurrentPreview(program).width, 20);
    EXPECT_EQ(ClientHeight(viewer), contentY + 20);
    for (int id : {PREVIEW_ID_PREVIOUS_ACTION, PREVIEW_ID_NEXT_ACTION, PREVIEW_ID_PLAY})
        EXPECT_NE(ShownChild(viewer, id), nullptr) << id;
    EXPECT_EQ(ShownChild(viewer, PREVIEW_ID_PALETTES), nullptr) << "no palettes in the folder";
    EXPECT_EQ(WindowText(GetDlgItem(viewer, PREVIEW_ID_PLAY)), L"Pause");

    // It plays: the picture changes by itself, a second a frame.
    Pixels first = ClientPixels(program, viewer);
    EXPECT_TRUE(WaitUntil([&] { return ClientPixels(program, viewer).rgb != first.rgb; }, 5000));

    // Paused, it stays; prev and next step within the action.
    ClickChild(program, viewer, PREVIEW_ID_PLAY);
    EXPECT_EQ(WindowText(GetDlgItem(viewer, PREVIEW_ID_PLAY)), L"Play");
    const int PREV_X = 20, NEXT_X = 60, BUTTON_Y = 10;
    Press(program, viewer, PREV_X, BUTTON_Y);
    Press(program, viewer, PREV_X, BUTTON_Y);  // at the first frame: stays
    EXPECT_EQ(CurrentAnimation(program).frame, 0u);
    Pixels paused = ClientPixels(program, viewer);
    EXPECT_TRUE(ShowsTexts(paused, ActionCounter(1, 3, 1, 2), L"ACT"));
    EXPECT_EQ(paused.At(10, contentY + 10), OWN_10);
    EXPECT_EQ(paused.At(0, contentY), Background()) << "index 0 is transparent";
    std::wstring shotFirst = SaveScreenshot(viewer, L"preview-animation-1");
    Sleep(1200);
    EXPECT_EQ(ClientPixels(program, viewer).rgb, paused.rgb) << "paused";
    Press(program, viewer, NEXT_X, BUTTON_Y);
    Press(program, viewer, NEXT_X, BUTTON_Y);  // at the last frame: stays
    Pixels second = ClientPixels(program, viewer);
    EXPECT_TRUE(ShowsTexts(second, ActionCounter(1, 3, 2, 2), L"ACT"));
    EXPECT_EQ(second.At(10, contentY + 10), OWN_20);
    std::wstring shotSecond = SaveScreenshot(viewer, L"preview-animation-2");
    Bytes firstShot, secondShot;
    ASSERT_TRUE(ReadFileBytes(shotFirst, &firstShot));
    ASSERT_TRUE(ReadFileBytes(shotSecond, &secondShot));
    EXPECT_NE(firstShot, secondShot) << "two screenshots of the animation differ";
    printf("screenshots: %ls, %ls\n", shotFirst.c_str(), shotSecond.c_str());

    // Actions: the window is fitted to each action's canvas; stepping
    // stops at both ends.
    const struct {
        int button;
        uint32_t action;
        int width, height;  // the action's canvas
        std::wstring counter;
    } steps[] = {
        {PREVIEW_ID_PREVIOUS_ACTION, 0, 20, 20, ActionCounter(1, 3, 2, 2)},
        {PREVIEW_ID_NEXT_ACTION, 1, 40, 20, ActionCounter(2, 3, 1, 3)},
        {PREVIEW_ID_NEXT_ACTION, 2, 10, 10, ActionCounter(3, 3, 1, 1)},
        {PREVIEW_ID_NEXT_ACTION, 2, 10, 10, ActionCounter(3, 3, 1, 1)},
        {PREVIEW_ID_PREVIOUS_ACTION, 1, 40, 20, ActionCounter(2, 3, 1, 3)},
    };
    for (const auto& step : steps) {
        ClickChild(program, viewer, step.button);
        EXPECT_EQ(CurrentAnimation(program).action, step.action);
        Shown picture = CurrentPreview(program);
        EXPECT_EQ(picture.width, step.width) << "action " << step.action;
        EXPECT_EQ(picture.height, step.height) << "action " << step.action;
        EXPECT_EQ(ClientHeight(viewer), contentY + step.height) << "action " << step.action;
        EXPECT_TRUE(ShowsTexts(ClientPixels(program, viewer), step.counter, L"ACT"))
            << "action " << step.action;
    }
    // The true-colour image of the third action, drawn whole.
    ClickChild(program, viewer, PREVIEW_ID_NEXT_ACTION);
    EXPECT_EQ(ClientPixels(program, viewer).At(5, contentY + 5), 0x0000FFu);

    // The sprite plays the same animation; an animation without its sprite
    // says so.
    Activate(program, 1);
    EXPECT_TRUE(CurrentAnimation(program).active);
    EXPECT_EQ(CurrentPreview(program).type, uint32_t(PREVIEW_ACT));
    Activate(program, 2);
    ASSERT_NE(PreviewWindow(program), nullptr);
    EXPECT_FALSE(CurrentAnimation(program).active);
    EXPECT_EQ(Notice(PreviewWindow(program)),
              L"This animation's sprite, the .spr of the same name, is not in the archive.");
    EXPECT_EQ(ShownChild(PreviewWindow(program), PREVIEW_ID_PLAY), nullptr);
}

TEST_F(Preview, PalettesOfTheFolderRecolourASprite) {
    Bytes red = Palette(0xFF0000, 0xFF8080), blue = Palette(BLUE_10, BLUE_20);
    LoadDirectly(WriteArchive(L"palettes.grf", {{"data\\sprite\\monster.spr", AnimatedSprite()},
                                                {"data\\sprite\\red.pal", red},
                                                {"data\\sprite\\Blue.PAL", blue},
                                                {"data\\sprite\\short.pal", Bytes(1000, 7)},
                                                {"data\\sprite\\deeper\\green.pal", red},
                                                {"data\\palette\\elsewhere.pal", red}}));
    Activate(program, 0);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);
    HWND list = ShownChild(viewer, PREVIEW_ID_PALETTES);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ComboItems(list),
              (std::vector<std::wstring>{L"Sprite's own palette", L"Blue.PAL", L"red.pal"}))
        << "palettes of this folder only, whole ones, by name";
    const int contentY = PREVIEW_PICTURE_Y + PREVIEW_TOOLS_HEIGHT;
    EXPECT_EQ(ClientHeight(viewer), contentY + 20);
    EXPECT_EQ(ClientPixels(program, viewer).At(10, contentY + 10), OWN_10);

    const struct {
        int item;
        uint32_t at10, at20;
    } choices[] = {{1, BLUE_10, BLUE_20}, {2, 0xFF0000, 0xFF8080}, {0, OWN_10, OWN_20}};
    for (const auto& choice : choices) {
        SendMessageW(list, CB_SETCURSEL, WPARAM(choice.item), 0);
        SendMessageW(viewer, WM_COMMAND, MAKEWPARAM(PREVIEW_ID_PALETTES, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        Settle(program);
        EXPECT_EQ(ClientPixels(program, viewer).At(10, contentY + 10), choice.at10)
            << "item " << choice.item;
        Press(program, viewer, 60, 10);  // next frame, the same palette
        EXPECT_EQ(ClientPixels(program, viewer).At(10, contentY + 10), choice.at20)
            << "item " << choice.item;
        if (choice.item == 1) {
            std::wstring shot = SaveScreenshot(viewer, L"preview-palette");
            EXPECT_NE(shot, L"");
            printf("screenshot: %ls\n", shot.c_str());
        }
        Press(program, viewer, 20, 10);
    }

    // The true-colour frame after the palette frames, counted with them and
    // drawn in its own colours whatever the palette.
    SendMessageW(list, CB_SETCURSEL, 1, 0);
    SendMessageW(viewer, WM_COMMAND, MAKEWPARAM(PREVIEW_ID_PALETTES, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    Press(program, viewer, 60, 10);
    Press(program, viewer, 60, 10);
    Pixels trueColour = ClientPixels(program, viewer);
    EXPECT_TRUE(ShowsTexts(trueColour, Counter(3, 3), L"SPR"));
    EXPECT_EQ(trueColour.At(5, contentY + 5), 0x0000FFu);

    // A palette entry shows its 256 colours: entry i in row i / 16 and
    // column i % 16 of 16-pixel cells.
    Activate(program, 2);
    ASSERT_EQ(PreviewWindow(program), viewer);
    Shown swatches = CurrentPreview(program);
    EXPECT_EQ(swatches.type, uint32_t(PREVIEW_PAL));
    EXPECT_EQ(swatches.width, 257);
    EXPECT_EQ(ShownChild(viewer, PREVIEW_ID_PALETTES), nullptr);
    Pixels client = ClientPixels(program, viewer);
    EXPECT_TRUE(ShowsTexts(client, Counter(1, 1), L"PAL"));
    for (int index : {0, 10, 20, 37, 255}) {
        int x = (index % 16) * 16 + 8, y = PREVIEW_PICTURE_Y + (index / 16) * 16 + 8;
        uint32_t expected = uint32_t(blue[4 * index]) << 16 | uint32_t(blue[4 * index + 1]) << 8 |
                            blue[4 * index + 2];
        EXPECT_EQ(client.At(x, y), expected) << "entry " << index << ", magenta included";
    }
}

TEST_F(Preview, TextShowsReadOnlyFromUtf8OrCodePage949) {
    LoadDirectly(WriteArchive(
        L"text.grf", {{"data\\readme.txt",
                       BytesOf("\xEC\x95\x88\xEB\x85\x95\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94, "
                               "\xEC\x84\xB8\xEA\xB3\x84!\n\xEB\x91\x98\xEC\xA7\xB8 \xEC\xA4\x84")},
                      {"data\\luafiles\\skill.lua", BytesOf("-- \xBE\xC8\xB3\xE7\r\nreturn 1")},
                      {"data\\luafiles\\skill.lub", BytesOf("\x1BLuaQ\x01\x04")},
                      {"data\\notes", BytesOf("no extension, but text\n")}}));
    const struct {
        int row;
        const wchar_t* text;
    } rows[] = {
        {0, L"\uC548\uB155\uD558\uC138\uC694, \uC138\uACC4!\r\n\uB458\uC9F8 \uC904"},
        {1, L"-- \uC548\uB155\r\nreturn 1"},
        {3, L"no extension, but text\r\n"},
    };
    for (const auto& r : rows) {
        Activate(program, r.row);
        HWND viewer = PreviewWindow(program);
        ASSERT_NE(viewer, nullptr) << "row " << r.row;
        HWND view = ShownChild(viewer, PREVIEW_ID_TEXT);
        ASSERT_NE(view, nullptr) << "row " << r.row;
        EXPECT_EQ(WindowText(view), r.text) << "row " << r.row;
        EXPECT_NE(GetWindowLongW(view, GWL_STYLE) & ES_READONLY, 0) << "row " << r.row;
        EXPECT_EQ(Notice(viewer), L"") << "row " << r.row;
        EXPECT_EQ(CurrentPreview(program).type, uint32_t(PREVIEW_TEXT));
        EXPECT_TRUE(ShowsTexts(ClientPixels(program, viewer), Counter(1, 1), L"TXT"));
        if (r.row == 0) {
            std::wstring shot = SaveScreenshot(viewer, L"preview-text");
            EXPECT_NE(shot, L"");
            printf("screenshot: %ls\n", shot.c_str());
        }
    }
    // Typing changes nothing.
    HWND view = ShownChild(PreviewWindow(program), PREVIEW_ID_TEXT);
    PostMessageW(view, WM_CHAR, L'x', 0);
    Settle(program);
    EXPECT_EQ(WindowText(view), L"no extension, but text\r\n");

    Activate(program, 2);
    ASSERT_NE(PreviewWindow(program), nullptr);
    EXPECT_EQ(ShownChild(PreviewWindow(program), PREVIEW_ID_TEXT), nullptr);
    EXPECT_EQ(Notice(PreviewWindow(program)), L"Compiled Lua: its bytes are a program, not text.");
}

TEST_F(Preview, WriteSavesTheFrameAsPngAndTheActionAsGif) {
    LoadDirectly(WriteArchive(L"export.grf", {{"data\\sprite\\monster.act", Animation3()},
                                              {"data\\sprite\\monster.spr", AnimatedSprite()}}));
    Activate(program, 0);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);
    ClickChild(program, viewer, PREVIEW_ID_PLAY);  // paused at a known frame
    Press(program, viewer, 20, 10);
    ASSERT_EQ(CurrentAnimation(program).frame, 0u);

    // The frame as PNG, with its transparency.
    std::wstring png = dir.Join(L"frame.png");
    Press(program, viewer, 100, 10);
    Box dialog;
    ASSERT_TRUE(WaitForBox(program, &dialog, SAVE_TITLE));
    EXPECT_EQ(FileTypes(dialog),
              (std::vector<std::wstring>{L"Bitmap Image (*.bmp)", L"PNG Image (*.png)",
                                         L"Animated GIF (*.gif)"}));
    ASSERT_TRUE(ChooseFileType(dialog, 1));
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, png));
    Settle(program);
    EXPECT_EQ(OpenDialog(program), nullptr) << "no error";
    Bytes file, rgba;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(ReadFileBytes(png, &file));
    ASSERT_TRUE(ReadPng(file, &width, &height, &rgba));
    EXPECT_EQ(width, 20u);
    EXPECT_EQ(height, 20u);
    EXPECT_EQ(RgbaAt(rgba, width, 10, 10), OWN_10 << 8 | 0xFF);
    EXPECT_EQ(RgbaAt(rgba, width, 0, 0) & 0xFF, 0u) << "index 0 transparent";

    // The action as an animated GIF: both frames, looping.
    std::wstring gif = dir.Join(L"action.gif");
    Press(program, viewer, 100, 10);
    ASSERT_TRUE(WaitForBox(program, &dialog, SAVE_TITLE));
    ASSERT_TRUE(ChooseFileType(dialog, 2));
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, gif));
    Settle(program);
    EXPECT_EQ(OpenDialog(program), nullptr) << "no error";
    GifRead read;
    ASSERT_TRUE(ReadFileBytes(gif, &file));
    ASSERT_TRUE(ReadGif(file, &read));
    EXPECT_EQ(read.width, 20);
    EXPECT_EQ(read.height, 20);
    EXPECT_TRUE(read.loops);
    ASSERT_EQ(read.frames.size(), 2u);
    EXPECT_EQ(read.frames[0].delay, 100) << "40 ticks of 25 ms";
    EXPECT_EQ(RgbaAt(read.frames[1].rgba, 20, 10, 10), OWN_20 << 8 | 0xFF);

    // An existing file is never replaced, whatever the type.
    const Bytes kept = BytesOf("not to be overwritten");
    ASSERT_TRUE(WriteFileBytes(png, kept));
    Press(program, viewer, 100, 10);
    ASSERT_TRUE(WaitForBox(program, &dialog, SAVE_TITLE));
    ASSERT_TRUE(ChooseFileType(dialog, 1));
    ASSERT_TRUE(ChooseFile(program, SAVE_TITLE, png));
    EXPECT_EQ(TakeError(program), L"Saving the picture failed!");
    Settle(program);
    ASSERT_TRUE(ReadFileBytes(png, &file));
    EXPECT_EQ(file, kept);
}

TEST_F(Preview, LargePicturesShrinkToTheScreenAndSmallOnesZoomIn) {
    LoadDirectly(WriteArchive(
        L"sizes.grf", {{"data\\small.bmp", BitmapFile(10, 10, SmallColour)},
                       {"data\\huge.bmp", BitmapFile(3000, 2000, [](int32_t x, int32_t y) {
                            return uint32_t(x / 12 % 256) << 16 | uint32_t(y / 8 % 256) << 8 | 0x80;
                        })}}));
    // What the screen leaves for the window.
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    PreviewFrameMetrics metrics = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER),
                                   GetSystemMetrics(SM_CYSMCAPTION)};
    PreviewArea area = {work.right - work.left, work.bottom - work.top};
    PreviewContent huge = {3000, 2000, 1, true, false, 0};
    PreviewFit fit = FitPreviewContent(&huge, &metrics, &area);
    ASSERT_LT(fit.percent, 100u);

    Activate(program, 1);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(WindowText(viewer),
              L"data\\huge.bmp - Caskwright Viewer (" + std::to_wstring(fit.percent) + L"%)");
    EXPECT_EQ(WindowSize(viewer), (Size{fit.window.width, fit.window.height}));
    RECT placed = {};
    GetWindowRect(viewer, &placed);
    EXPECT_TRUE(placed.left >= work.left && placed.top >= work.top && placed.right <= work.right &&
                placed.bottom <= work.bottom)
        << "on the work area";
    EXPECT_EQ(CurrentPreview(program).width, 3000) << "the picture itself is whole";
    // Zooming in has no room.
    PostMessageW(viewer, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    Settle(program);
    EXPECT_EQ(WindowSize(viewer), (Size{fit.window.width, fit.window.height}));

    // A small picture: the wheel and + zoom in by whole steps, nearest
    // neighbour, magenta still left out; - goes back.
    Activate(program, 0);
    EXPECT_EQ(WindowText(viewer), L"data\\small.bmp - Caskwright Viewer");
    const struct {
        UINT message;
        WPARAM wParam;
        int zoom;
    } steps[] = {
        {WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 2},
        {WM_KEYDOWN, VK_ADD, 3},
        {WM_KEYDOWN, VK_SUBTRACT, 2},
        {WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(-WHEEL_DELTA)), 1},
        {WM_KEYDOWN, VK_OEM_MINUS, 1},
    };
    for (const auto& step : steps) {
        PostMessageW(viewer, step.message, step.wParam, 0);
        Settle(program);
        EXPECT_EQ(WindowSize(viewer), FittedSize(10 * step.zoom, 10 * step.zoom))
            << "zoom " << step.zoom;
        EXPECT_EQ(WindowText(viewer), step.zoom == 1
                                          ? std::wstring(L"data\\small.bmp - Caskwright Viewer")
                                          : L"data\\small.bmp - Caskwright Viewer (" +
                                                std::to_wstring(100 * step.zoom) + L"%)");
        Pixels client = ClientPixels(program, viewer);
        for (int y = 0; y < 10 * step.zoom; ++y) {
            for (int x = 0; x < 10 * step.zoom; ++x) {
                uint32_t colour = SmallColour(x / step.zoom, y / step.zoom);
                uint32_t expected = colour == MAGENTA ? Background() : colour;
                ASSERT_EQ(client.At(x, PREVIEW_PICTURE_Y + y), expected)
                    << x << ", " << y << " at zoom " << step.zoom;
            }
        }
    }
}

// The viewer's caption names its entry, Esc closes it, and it closes with
// the archive its entry came from: Close Grf, or another archive opened.
TEST_F(Preview, NamesItsEntryClosesOnEscAndWithItsArchive) {
    std::wstring first = WriteArchive(L"first.grf", Numbered(2));
    ASSERT_EQ(Open(first), L"");
    Activate(program, 1);
    HWND viewer = PreviewWindow(program);
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(WindowText(viewer), L"data\\file1.txt - Caskwright Viewer");
    PostMessageW(viewer, WM_KEYDOWN, VK_ESCAPE, 0);
    Settle(program);
    EXPECT_EQ(AnyPreviewWindow(program), nullptr) << "Esc";

    Activate(program, 0);
    ASSERT_NE(PreviewWindow(program), nullptr);
    Click(program, IDC_CLOSE_GRF);
    Settle(program);
    EXPECT_EQ(WindowText(program.dialog), L"Caskwright - none");
    ASSERT_EQ(WaitIdle(program), L"") << "Close Grf";

    ASSERT_EQ(Open(first), L"");
    Activate(program, 0);
    ASSERT_NE(PreviewWindow(program), nullptr);
    // The viewer is in the way until the open has ended, then goes.
    Open(WriteArchive(L"second.grf", Numbered(3)));
    EXPECT_TRUE(WaitUntil([&] { return AnyPreviewWindow(program) == nullptr; }, 20000))
        << "another archive";
    ASSERT_EQ(WaitIdle(program), L"");
    EXPECT_EQ(RowCount(program), 3);
}

}  // namespace
