// preview_bitmap_win32.h -- the current preview and the display step: the
// decoders that work on the current preview and the conversion of a picture
// into a screen bitmap. Windows only (library caskwright_viewer_win32).
//
// Single-threaded: g_previewImage is a plain global of the user-interface
// thread.
#ifndef CASKWRIGHT_PREVIEW_BITMAP_WIN32_H
#define CASKWRIGHT_PREVIEW_BITMAP_WIN32_H

#include <windows.h>

#include "preview.h"

// Why a preview shows nothing, said in the window in place of a picture.
enum PreviewNotice : uint32_t {
    PREVIEW_NOTICE_NONE = 0,
    PREVIEW_NOTICE_UNKNOWN = 1,         // the viewer does not know the kind
    PREVIEW_NOTICE_DAMAGED = 2,         // known kind, but its decoder refused it
    PREVIEW_NOTICE_UNREADABLE = 3,      // the entry's bytes could not be read
    PREVIEW_NOTICE_NO_SPRITE = 4,       // an animation without its sprite
    PREVIEW_NOTICE_COMPILED_LUA = 5,    // compiled Lua: no text to show
    PREVIEW_NOTICE_NEEDS_PASSWORD = 6,  // keyed, and no password given
    PREVIEW_NOTICE_WRONG_PASSWORD = 7   // keyed, and the password given does not open it
};

struct PreviewImage {
    uint8_t* data;           // the entry's inflated bytes, owned by the viewer;
                             // null when the read failed
    uint32_t size;           // the entry's real size: decoders read only
                             // data[0] to data[size - 1]
    PreviewType type;        // kind of the entry
    HBITMAP bitmap;          // the picture, or null when there is none: a
                             // device-dependent bitmap compatible with the
                             // screen, deleted when the next picture replaces it
                             // (ClearPreviewPicture)
    int32_t width;           // picture size in pixels; 0 without a picture
    int32_t height;          // always positive with a picture
    uint32_t frameCount;     // frames the entry holds; 1 but for sprites
    uint32_t currentFrame;   // 1-based frame shown; 1 but for sprites
    const uint8_t* palette;  // 1024 bytes drawing sprite palette images in
                             // place of the sprite's own, or null; owned by
                             // the window's palette list
    wchar_t* text;           // PREVIEW_TEXT: the decoded text (malloc), or null
    PreviewNotice notice;    // without a picture or text: why
    bool drawnWhole;         // no colour of the picture stands for
                             // transparency: palettes, animations and
                             // true-colour sprite frames, which are drawn
                             // over the window's own colour
};

// The viewer's single current preview (zero at start).
extern PreviewImage g_previewImage;

// The conversion shared by the decoders: makes a screen-compatible bitmap of
// the picture, releases the picture's pixels in every case, and on success
// stores the bitmap, width and |height| in g_previewImage (deleting the
// bitmap held before). Returns false, leaving g_previewImage unchanged, when
// the picture is empty or the platform cannot make the bitmap.
bool StorePreviewPicture(PreviewPicture* picture);

// The window's background colour as red, green, blue: what pictures with
// transparency are drawn over.
void PreviewBackground(uint8_t rgb[3]);

// Deletes the held bitmap, if any, and sets bitmap to none, width and height
// to 0, drawnWhole to false.
void ClearPreviewPicture(void);

// The decoders. Each reads data and size of g_previewImage and leaves the
// picture in bitmap, width and height, or no picture (bitmap none, width and
// height 0).
void DecodeBmpPreview(void);
void DecodeTgaPreview(void);
void DecodeJpegPreview(void);
void RenderGatPreview(void);

// The 256 colours of a palette entry as swatches.
void DecodePalPreview(void);

// Decodes a text entry into text, or sets the notice for compiled Lua.
void DecodeTextPreview(void);

// Releases text. Safe without one.
void FreePreviewText(void);

// Decodes frame currentFrame through palette and sets frameCount; a
// true-colour frame is drawn over the window's colour (drawnWhole). When
// data is null there is no picture; when the frame yields none, the picture
// held before stays (stepping to an undecodable frame keeps the last one on
// screen).
void DecodeSprPreview(void);

#endif
