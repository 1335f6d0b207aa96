// preview_bitmap_win32.cpp -- the current preview and the one Windows step
// of every decoder: making a screen-compatible bitmap of the decoded picture
// (or, for bitmap files, of the file's own header and pixels once they have
// been checked).
#include "preview_bitmap_win32.h"

#include <stdlib.h>
#include <string.h>

#include "le_bytes.h"
#include "palette.h"
#include "sprite.h"
#include "text.h"

static_assert(sizeof(BITMAPINFOHEADER) == PREVIEW_HEADER_SIZE, "picture header is the platform's");

PreviewImage g_previewImage;

namespace {

// Makes a bitmap compatible with the screen and copies the rows described
// by info into it; null when the platform refuses.
HBITMAP MakeScreenBitmap(const BITMAPINFO* info, const void* pixels, int32_t width, int32_t rows) {
    HDC screen = GetDC(nullptr);
    if (!screen) return nullptr;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, rows);
    if (bitmap && SetDIBits(screen, bitmap, 0, UINT(rows), pixels, info, DIB_RGB_COLORS) == 0) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    ReleaseDC(nullptr, screen);
    return bitmap;
}

void KeepBitmap(HBITMAP bitmap, int32_t width, int32_t height) {
    if (g_previewImage.bitmap) DeleteObject(g_previewImage.bitmap);
    g_previewImage.bitmap = bitmap;
    g_previewImage.width = width;
    g_previewImage.height = height;
}

// The current true-colour frame, its transparency over the window's colour.
bool DecodeTrueColourOverBackground(PreviewPicture* picture) {
    SprSheet sheet;
    if (!OpenSprSheet(g_previewImage.data, g_previewImage.size, &sheet)) return false;
    RgbaPicture frame;
    bool decoded = DecodeSprImage(&sheet, g_previewImage.currentFrame - 1, nullptr, &frame);
    CloseSprSheet(&sheet);
    if (!decoded) return false;
    uint8_t background[3];
    PreviewBackground(background);
    bool flattened = FlattenRgbaPicture(&frame, background, picture);
    FreeRgbaPicture(&frame);
    return flattened;
}

}  // namespace

bool StorePreviewPicture(PreviewPicture* picture) {
    HBITMAP bitmap = nullptr;
    int32_t rows = picture->height < 0 ? -picture->height : picture->height;
    if (picture->pixels) {
        BITMAPINFO info{};
        memcpy(&info.bmiHeader, picture->header, PREVIEW_HEADER_SIZE);
        bitmap = MakeScreenBitmap(&info, picture->pixels, picture->width, rows);
    }
    int32_t width = picture->width;
    FreePreviewPicture(picture);
    if (!bitmap) return false;
    KeepBitmap(bitmap, width, rows);
    return true;
}

void PreviewBackground(uint8_t rgb[3]) {
    COLORREF colour = GetSysColor(COLOR_WINDOW);
    rgb[0] = GetRValue(colour);
    rgb[1] = GetGValue(colour);
    rgb[2] = GetBValue(colour);
}

void ClearPreviewPicture(void) {
    if (g_previewImage.bitmap) DeleteObject(g_previewImage.bitmap);
    g_previewImage.bitmap = nullptr;
    g_previewImage.width = 0;
    g_previewImage.height = 0;
    g_previewImage.drawnWhole = false;
}

void DecodeBmpPreview(void) {
    ClearPreviewPicture();
    BmpLayout layout;
    if (!CheckBmpEntry(g_previewImage.data, g_previewImage.size, &layout)) return;

    // The header and colour table are handed over from an aligned copy, with
    // the image size of uncompressed rows set to what was checked, so the
    // platform reads nothing the checks did not cover.
    uint8_t* info = static_cast<uint8_t*>(malloc(layout.infoBytes));
    if (!info) return;
    memcpy(info, g_previewImage.data + layout.infoOffset, layout.infoBytes);
    uint32_t compression = GetLe32(info + 16);
    if (compression == BI_RGB || compression == BI_BITFIELDS) PutLe32(info + 20, layout.pixelBytes);
    int32_t rows = layout.height < 0 ? -layout.height : layout.height;
    HBITMAP bitmap = MakeScreenBitmap(reinterpret_cast<BITMAPINFO*>(info),
                                      g_previewImage.data + layout.pixelOffset, layout.width, rows);
    free(info);
    if (bitmap) KeepBitmap(bitmap, layout.width, rows);
}

void DecodeTgaPreview(void) {
    ClearPreviewPicture();
    PreviewPicture picture;
    if (DecodeTgaPixels(g_previewImage.data, g_previewImage.size, &picture))
        StorePreviewPicture(&picture);
}

void DecodeJpegPreview(void) {
    ClearPreviewPicture();
    PreviewPicture picture;
    if (DecodeJpegPixels(g_previewImage.data, g_previewImage.size, &picture))
        StorePreviewPicture(&picture);
}

void RenderGatPreview(void) {
    ClearPreviewPicture();
    PreviewPicture picture;
    if (RenderGatPixels(g_previewImage.data, g_previewImage.size, &picture))
        StorePreviewPicture(&picture);
}

void DecodeSprPreview(void) {
    if (!g_previewImage.data) {
        ClearPreviewPicture();
        return;
    }
    PreviewPicture picture;
    uint32_t frameCount = 0;
    bool decoded = DecodeSprPixelsWithPalette(g_previewImage.data, g_previewImage.size,
                                              g_previewImage.currentFrame, g_previewImage.palette,
                                              &picture, &frameCount);
    g_previewImage.frameCount = frameCount;
    // The block's zero tail covers the count at offset 4.
    bool trueColour = g_previewImage.currentFrame > GetLe16(g_previewImage.data + 4);
    if (decoded && trueColour) {
        // Its own transparency, over the window's colour: no colour of the
        // frame may stand for transparency, as the top-left pixel's does for
        // palette frames.
        FreePreviewPicture(&picture);
        decoded = DecodeTrueColourOverBackground(&picture);
    }
    // A frame that yields no picture leaves the last one in place.
    if (decoded && StorePreviewPicture(&picture)) g_previewImage.drawnWhole = trueColour;
}

void DecodePalPreview(void) {
    ClearPreviewPicture();
    PreviewPicture picture;
    if (RenderPaletteSwatches(g_previewImage.data, g_previewImage.size, &picture) &&
        StorePreviewPicture(&picture))
        g_previewImage.drawnWhole = true;
}

void DecodeTextPreview(void) {
    FreePreviewText();
    EntryText text;
    if (!DecodeEntryText(g_previewImage.data, g_previewImage.size, &text)) return;
    if (text.encoding == TEXT_COMPILED_LUA) {
        g_previewImage.notice = PREVIEW_NOTICE_COMPILED_LUA;
        return;
    }
    g_previewImage.text = text.text;  // taken over: released by FreePreviewText
}

void FreePreviewText(void) {
    free(g_previewImage.text);
    g_previewImage.text = nullptr;
}
