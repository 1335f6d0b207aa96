/*
 * preview.h -- the Caskwright viewer's portable pixel work: the entry kinds,
 * the common picture form and each decoder.
 *
 * Static library caskwright_viewer, no window system: each decoder takes an
 * entry's bytes and its size and either builds a PreviewPicture or refuses.
 * Nothing outside [data, data + size) is ever read, whatever the bytes
 * claim. The bitmap decoder only checks the entry (CheckBmpEntry), because
 * the platform converts bitmap files itself.
 *
 * The current preview and the step that turns a picture into a screen
 * bitmap are Windows only: preview_bitmap_win32.h.
 */
#ifndef CASKWRIGHT_PREVIEW_H
#define CASKWRIGHT_PREVIEW_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/* ---------------------------------------------------------------------------
 * Entry kinds.
 */

enum PreviewType : uint32_t {
    PREVIEW_NONE = 0, /* not previewable, or no data */
    PREVIEW_BMP = 1,  /* Windows bitmap */
    PREVIEW_TGA = 2,  /* uncompressed true-colour targa */
    PREVIEW_JPG = 3,  /* JPEG (JFIF or Exif) */
    PREVIEW_SPR = 4,  /* palette sprite with frames */
    PREVIEW_GAT = 5,  /* map altitude grid */
    PREVIEW_WAV = 6,  /* RIFF wave sound: played, never shown */
    PREVIEW_ACT = 7,  /* sprite animation (act.h) */
    PREVIEW_PAL = 8,  /* 256-colour palette (palette.h) */
    PREVIEW_TEXT = 9  /* text, or compiled Lua (text.h) */
};

/* The name shown beside the frame counter: "Unknown", "BMP", "TGA", "JPG",
   "SPR", "GAT", "ACT", "PAL", "TXT"; an empty string for sounds and unknown
   codes. Static text. */
const wchar_t* PreviewTypeName(uint32_t type);

/* ---------------------------------------------------------------------------
 * Common picture form.
 *
 * Every decoder but the bitmap decoder builds its picture as:
 *  - header: the 40 bytes of a BITMAPINFOHEADER, little-endian: size 40,
 *    width, height (signed: positive means the first row in memory is the
 *    bottom row of the picture, negative means it is the top row), planes 1,
 *    bit count 24, compression 0 (BI_RGB), every other field 0;
 *  - pixels: |height| rows one after another, each `stride` bytes:
 *    3 bytes per pixel in the order blue, green, red, left to right, then
 *    zero bytes up to stride = RoundUpTo4(3 * width).
 * The pixel block comes from malloc and belongs to whoever holds the
 * PreviewPicture; FreePreviewPicture releases it.
 */

#define PREVIEW_HEADER_SIZE 40

/* Largest picture any decoder builds, in pixels (width * |height|): a
   preview has to fit on the screen and into one allocation, and sizes taken
   from an entry are untrusted. */
#define PREVIEW_MAX_PIXELS (1u << 25)

struct PreviewPicture {
    uint8_t header[PREVIEW_HEADER_SIZE];
    int32_t width;   /* > 0 */
    int32_t height;  /* as in the header: negative when the top row is first */
    uint32_t stride; /* bytes per row, a multiple of 4 */
    uint8_t* pixels; /* stride * |height| bytes, or null without a picture */
};

/* n raised to the next multiple of 4 (n itself when already a multiple). */
uint32_t RoundUpTo4(uint32_t n);

/* Makes an empty picture of width x |height| pixels: header filled, pixels
   zeroed. Returns false, leaving *picture empty (pixels null), when width is
   0 or less, height is 0 or INT32_MIN, the picture has more than
   PREVIEW_MAX_PIXELS pixels, or memory runs out. */
bool MakePreviewPicture(int32_t width, int32_t height, PreviewPicture* picture);

/* Releases the pixels and empties *picture. Safe on an empty picture. */
void FreePreviewPicture(PreviewPicture* picture);

/* ---------------------------------------------------------------------------
 * Pixel work. Each decoder empties *picture first; on success it holds the
 * new picture (the caller frees it), on failure it stays empty. A null data
 * is a failure. No decoder keeps state between calls.
 */

/* Where the parts of a bitmap file are, once checked against the entry. */
struct BmpLayout {
    uint32_t infoOffset;  /* 14: the info header */
    uint32_t infoBytes;   /* the info header with its colour table or colour
                             masks, as the platform reads them */
    uint32_t pixelOffset; /* from the file's offset 10 */
    uint32_t pixelBytes;  /* bytes of pixel data the platform reads */
    int32_t width;        /* > 0 */
    int32_t height;       /* as stored: negative for rows stored top first */
};

/* Checks a bitmap file ("BM", a file header, an info header of 40 bytes or
   more) against its size: the info header, its colour table or masks, and
   every row its width, height and bit depth imply (or, compressed, the image
   size it declares) must lie inside the entry. Accepted: 1, 4, 8, 16, 24 and
   32 bits per pixel uncompressed; 4- and 8-bit run-length (bottom-up rows
   only); 16- and 32-bit colour masks; one plane. Fills *layout and returns
   true, or returns false. */
bool CheckBmpEntry(const uint8_t* data, uint32_t size, BmpLayout* layout);

/* Targa: true-colour (image types 2 and 10: 15, 16, 24 or 32 bits per
   pixel) or grey (types 3 and 11: 8 bits, or 16 with alpha), plain or
   run-length coded (runs may cross rows); a colour map, if present, is
   skipped. 15- and 16-bit channels widen to 8 bits (c << 3 | c >> 2); the
   16-bit top bit is opacity when the descriptor declares attribute bits and
   at least one pixel sets it. Each channel c becomes
   trunc(((c/255 - t) * a + t) * 255) with a the pixel's opacity (1 without
   alpha) and t the tone of an 8 x 8 checkerboard anchored at the picture's
   bottom-left corner (0.6 where exactly one of x & 8 and y & 8 is set, 0.4
   elsewhere). The picture's first row in memory is its bottom row (positive
   header height): the file's rows are placed top or bottom first and left
   or right first as its descriptor's bits 5 and 4 say. Refused: colour-
   mapped images, other types and depths, zero or negative sizes, rows or
   run-length data that end before the last pixel. */
bool DecodeTgaPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture);

/* JPEG through libjpeg with the viewer's own memory source: colour images as
   blue-green-red, greyscale images as grey, top row first (negative header
   height). Data that ends early still gives a picture of the full size (the
   rest as the library finishes it). Refused: streams the library rejects,
   other component counts (CMYK), pictures above PREVIEW_MAX_PIXELS. */
bool DecodeJpegPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture);

/* Frame `frame` (1-based) of a palette sprite, top row first (negative
   header height). Versions by bytes 2 and 3: 1.1 (1, 1) raw indices from
   offset 6, 2.0 (0, 2) raw indices from offset 8, 2.1 (1, 2) run-length
   frames from offset 8 of at most 20000 coded bytes each; the palette is the
   entry's last 1024 bytes and frame records lie between header and palette.
   *frameCount (may be null) receives the frame count at offset 4, or 0 when
   the entry is shorter than that, even when no picture results. Refused:
   other versions, a frame number outside 1 to the count, records that reach
   beyond the frames, frames of zero width or height. */
bool DecodeSprPixels(const uint8_t* data, uint32_t size, uint32_t frame, PreviewPicture* picture,
                     uint32_t* frameCount);

/* Turns `count` 4-byte palette entries of red, green, blue and a fourth byte
   into blue, green, red and that fourth byte, in place. */
void SwapPaletteOrder(uint8_t* palette, uint32_t count);

/* Decodes n run-length coded palette indices into packed blue-green-red
   pixels at out (no row alignment). A non-zero byte is one pixel of that
   palette entry; a zero byte and the count m after it are m pixels of entry
   0. Before each pixel, decoding stops when 3 more bytes would pass `limit`.
   palette is 256 converted entries of 4 bytes. width is the frame's width
   (the packed rows need no more). Returns the bytes written. */
uint32_t DecodeSprRle(const uint8_t* coded, uint32_t n, uint32_t width, uint32_t limit,
                      uint8_t* out, const uint8_t* palette);

/* Copies height rows of 3 * width packed bytes to dest at the stride
   RoundUpTo4(3 * width), zeroing each row's bytes past its pixels. */
void AlignSprRows(const uint8_t* packed, uint32_t width, uint32_t height, uint8_t* dest);

/* Altitude map: width x height cells of 20 bytes from offset 14, one pixel
   each. grey = 128 - v, v the mean of the four corner heights truncated
   toward zero and limited to -128..128, grey at most 255; the file's first
   cell row is the bottom row (positive header height). A corner that is not
   a number counts as 0, infinities as the largest float. Cell types are not
   read. Refused: zero sizes, cells beyond the entry. */
bool RenderGatPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture);

#endif
