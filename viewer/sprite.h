/*
 * sprite.h -- every image of a sprite, palette and true-colour alike, as
 * pictures with transparency (rgba.h), and sprite frames through a palette
 * other than the sprite's own.
 *
 * A sprite ("SP") holds P palette images, then (versions 2.0 and 2.1) R
 * true-colour images, then its 1024-byte palette as the entry's last bytes.
 * The two lists are numbered together here: palette images first (0 to
 * P - 1), true-colour image i at P + i, which is also how the frame stepper
 * counts frames (1-based). True-colour images store 4 bytes a pixel in the
 * order alpha, blue, green, red, the bottom row first, alpha straight.
 *
 * A palette is 256 entries of 4 bytes, red, green, blue and a byte that is
 * ignored. Resolving a palette image makes entry 0 fully transparent and
 * every other entry opaque, whichever palette is used.
 *
 * Portable (static library caskwright_viewer). Nothing outside the entry's
 * bytes is read, whatever the counts and sizes in it claim.
 */
#ifndef CASKWRIGHT_SPRITE_H
#define CASKWRIGHT_SPRITE_H

#include <stdint.h>

#include "preview.h"
#include "rgba.h"

#define SPR_PALETTE_SIZE 1024

enum SprImageKind : uint8_t {
    SPR_IMAGE_MISSING = 0, /* declared, but its record is not in the entry */
    SPR_IMAGE_RAW = 1,     /* width * height palette indices */
    SPR_IMAGE_RLE = 2,     /* run-length coded palette indices */
    SPR_IMAGE_RGBA = 3     /* width * height true-colour pixels */
};

struct SprImage {
    uint32_t offset; /* first byte of the image's pixels (after its record header) */
    uint32_t length; /* bytes of pixels, all inside the entry */
    uint16_t width;
    uint16_t height;
    SprImageKind kind;
};

/* The image index of a sprite entry, made once and used for any number of
   images. It points into the entry's bytes, which must outlive it. */
struct SprSheet {
    const uint8_t* data;    /* the entry (not owned) */
    uint32_t size;          /* its size */
    uint32_t indexedCount;  /* P, as the header declares it */
    uint32_t rgbaCount;     /* R, as declared (0 for version 1.1) */
    SprImage* images;       /* P + R records, palette images first; from the
                               first record that does not fit before the
                               palette on, every image is SPR_IMAGE_MISSING */
    const uint8_t* palette; /* the sprite's own: the entry's last 1024 bytes */
};

/* Indexes a sprite of version 1.1, 2.0 or 2.1 (bytes 2 and 3: 1 1, 0 2,
   1 2) that holds at least its header and palette. Returns false, leaving
   *sheet empty, for other versions, shorter entries or no memory; true
   otherwise, even when some records do not fit (they are missing). */
bool OpenSprSheet(const uint8_t* data, uint32_t size, SprSheet* sheet);

/* Releases the index and empties *sheet. Safe on an empty sheet. */
void CloseSprSheet(SprSheet* sheet);

/* Image `index` (0-based, palette images first) as a picture with
   transparency. palette is 1024 bytes to use for palette images in place
   of the sprite's own, or null; true-colour images never use it. A run
   00 m is m pixels of entry 0 (00 00 is none); runs past the last pixel are
   cut and coded data that ends early leaves the rest transparent. Returns
   false, leaving *picture empty, for an index out of range, a missing
   image, a width or height of 0, or a picture too large (rgba.h). */
bool DecodeSprImage(const SprSheet* sheet, uint32_t index, const uint8_t* palette,
                    RgbaPicture* picture);

/* DecodeSprPixels (preview.h) with `palette` (1024 bytes, or null for the
   sprite's own) in place of the entry's. The frame count is P + R for
   versions 2.0 and 2.1 (R read when the entry holds offset 6 and 7); a
   frame above P is true-colour image (frame - P - 1), drawn over the
   palette's entry 0 so that its transparent pixels have the colour a palette
   frame's transparent pixels have. */
bool DecodeSprPixelsWithPalette(const uint8_t* data, uint32_t size, uint32_t frame,
                                const uint8_t* palette, PreviewPicture* picture,
                                uint32_t* frameCount);

#endif
