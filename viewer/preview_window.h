/*
 * preview_window.h -- what the preview launch and the preview window decide
 * without the window system: the kind of an entry, the window's size for a
 * picture, which button a press hits, the file header of a saved bitmap, and
 * whether a sound can be played straight from its bytes.
 *
 * Portable (static library caskwright_viewer); the window itself and the
 * launch are in preview_window_win32.h.
 */
#ifndef CASKWRIGHT_PREVIEW_WINDOW_H
#define CASKWRIGHT_PREVIEW_WINDOW_H

#include <stdint.h>
#include <wchar.h>

#include "preview.h"

/* ---------------------------------------------------------------------------
 * Type detection.
 */

/* The kind of an entry from its wide name and its first bytes. Each kind
   needs both its leading bytes and its extension (".bmp", ".spr", ".tga",
   ".jpg" or ".jpeg", ".gat", ".wav"), found anywhere in the name, letters
   in any case; the kinds are tried in that order and the first whose two
   tests pass wins. A sprite needs palette or true-colour frames; a targa a
   true-colour or grey image, plain or run-length. data is null
   (PREVIEW_NONE) or holds at least 10 readable bytes, as every entry block
   does with its zero tail; the entry's size is not needed. A null name
   matches no extension. */
PreviewType DetectPreviewType(const wchar_t* name, const uint8_t* data);

/* Every kind the viewer knows, which needs the entry's size too: the kinds
   of DetectPreviewType first; then an animation ("AC", name with ".act"), a
   palette (exactly 1024 bytes, name with ".pal"), and text (PREVIEW_TEXT)
   for a text extension (IsTextName), compiled Lua, or bytes that look like
   text (text.h). */
PreviewType DetectEntryType(const wchar_t* name, const uint8_t* data, uint32_t size);

/* ---------------------------------------------------------------------------
 * Window layout, in pixels.
 */

/* Where the parts of the client area are. */
#define PREVIEW_STRIP_X 2 /* the button strip, 130 x 20 */
#define PREVIEW_STRIP_Y 2
#define PREVIEW_STRIP_WIDTH 130
#define PREVIEW_STRIP_HEIGHT 20
#define PREVIEW_COUNTER_X 135 /* "Frame %d of %d" */
#define PREVIEW_TYPE_X 220    /* the type name */
#define PREVIEW_TEXT_Y 5
#define PREVIEW_PICTURE_Y 24 /* the picture, from x 0 */

/* The platform's frame measures that the window size depends on. */
struct PreviewFrameMetrics {
    int32_t borderWidth;   /* SM_CXBORDER */
    int32_t borderHeight;  /* SM_CYBORDER */
    int32_t captionHeight; /* SM_CYSMCAPTION, the tool window's caption */
};

struct PreviewWindowSize {
    int32_t width; /* the whole window, frame and caption included */
    int32_t height;
};

/* The window's size for a picture of width x height: at least 256 wide and
   64 high, otherwise the picture, the strip above it and the frame. */
PreviewWindowSize PreviewWindowSizeFor(int32_t width, int32_t height,
                                       const PreviewFrameMetrics* metrics);

enum PreviewButton : uint32_t {
    PREVIEW_BUTTON_NONE = 0,
    PREVIEW_BUTTON_PREV = 1,  /* x 3 to 43 */
    PREVIEW_BUTTON_NEXT = 2,  /* x 46 to 87 */
    PREVIEW_BUTTON_WRITE = 3, /* x 90 to 131 */
};

/* The button under a press at client coordinates (x, y), bounds included,
   y 3 to 21 for all three; none for anything else, negative values too. */
PreviewButton PreviewButtonAt(int32_t x, int32_t y);

/* ---------------------------------------------------------------------------
 * Saved bitmap files: a 14-byte file header, then the packed block (an info
 * header of infoSize bytes and the pixel rows).
 */

#define BMP_FILE_HEADER_SIZE 14

/* Writes "BM", the file size 14 + blockSize, two zero words and the pixel
   offset 14 + infoSize, little-endian. */
void PutBmpFileHeader(uint8_t* header, uint32_t blockSize, uint32_t infoSize);

/* ---------------------------------------------------------------------------
 * Sounds.
 */

/* Whether a RIFF wave entry can be handed to the platform's player, which
   takes only the block and finds its way by the chunk sizes inside: the
   chunks from offset 12 up to and including a "fmt " chunk of 16 bytes or
   more and the "data" chunk after it must lie inside the entry's size bytes.
   A "data" chunk that claims more than the entry holds is cut to what it
   holds (the only change made to data), so a truncated sound plays what
   there is. Returns false, changing nothing, for anything else. */
bool FitWaveToEntry(uint8_t* data, uint32_t size);

#endif
