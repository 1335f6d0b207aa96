/*
 * preview_window.h -- what the preview window decides without the window
 * system: its size for a picture and its fit to the screen, which button a
 * press hits, and the file header of a saved bitmap.
 *
 * Portable (static library caskwright_viewer); the window itself is in
 * preview_window_win32.h.
 */
#ifndef CASKWRIGHT_PREVIEW_WINDOW_H
#define CASKWRIGHT_PREVIEW_WINDOW_H

#include <stdint.h>

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

/* Where the type name goes: at PREVIEW_TYPE_X, or further right when the
   counter, counterWidth pixels wide from PREVIEW_COUNTER_X, would reach it
   (8 pixels apart). */
int32_t PreviewTypeNameX(int32_t counterWidth);

/* ---------------------------------------------------------------------------
 * Fitting the window to the screen.
 *
 * Under the top row (strip, counter, type name) the window may show a row
 * of tools (the action buttons and the palette list), then the content:
 * the picture, the text view or a notice. A picture whose window would not
 * fit the screen's work area is scaled down until it does; one that fits
 * may be zoomed in by whole factors while the window still fits. Text and
 * notices are cut to the work area instead.
 */

#define PREVIEW_TOOLS_HEIGHT 26 /* the tools row, under the top row */
#define PREVIEW_MAX_ZOOM 8

struct PreviewContent {
    int32_t width; /* the picture, or the room the text or notice wants */
    int32_t height;
    uint32_t zoom;        /* zoom factor asked for, 1 or more; pictures only */
    bool picture;         /* scaled and zoomed; otherwise cut */
    bool toolsRow;        /* the tools row is shown */
    int32_t minimumWidth; /* client width the rows above the content need */
};

struct PreviewArea {
    int32_t width; /* the screen's work area */
    int32_t height;
};

struct PreviewFit {
    uint32_t percent;   /* the picture's scale: 100 as it is, below when
                           scaled down to fit, 200, 300... when zoomed in */
    int32_t shownWidth; /* the content as drawn */
    int32_t shownHeight;
    int32_t contentY; /* client y of the content's top */
    PreviewWindowSize window;
};

/* The layout for content on a screen whose work area is area. Frame and
   rows add 4 * borderWidth + 2 to the width and captionHeight +
   4 * borderHeight + 26 (and PREVIEW_TOOLS_HEIGHT with the tools row) to
   the height, as PreviewWindowSizeFor does. A picture that fits at 100%
   gets the largest zoom up to content->zoom (and PREVIEW_MAX_ZOOM) that
   still fits; one that does not gets the largest whole percent that fits
   (at least 1), its shown size rounded down (at least 1 pixel). Other
   content is cut to the room there is (at least 1 pixel). The window is at
   least 256 wide, 64 high and as wide as minimumWidth plus the frame. */
PreviewFit FitPreviewContent(const PreviewContent* content, const PreviewFrameMetrics* metrics,
                             const PreviewArea* area);

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

#endif
