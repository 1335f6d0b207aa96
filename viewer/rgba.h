/*
 * rgba.h -- the viewer's picture form with transparency: what sprite images,
 * animation frames and exported pictures are built in.
 *
 * Layout: width x height pixels, 4 bytes each in the order red, green, blue,
 * alpha; alpha is straight (colours are not multiplied by it; 0 is fully
 * transparent, 255 opaque). Rows run top to bottom, each exactly 4 * width
 * bytes with no padding. The pixel block comes from malloc and belongs to
 * whoever holds the RgbaPicture; FreeRgbaPicture releases it.
 *
 * Portable (static library caskwright_viewer).
 */
#ifndef CASKWRIGHT_RGBA_H
#define CASKWRIGHT_RGBA_H

#include <stdint.h>

#include "preview.h"

struct RgbaPicture {
    int32_t width;   /* > 0 with pixels */
    int32_t height;  /* > 0 with pixels; the first row is the top row */
    uint8_t* pixels; /* 4 * width * height bytes, or null without a picture */
};

/* Makes a fully transparent picture (every byte 0) of width x height.
   Returns false, leaving *picture empty, for a size of 0 or less, more than
   PREVIEW_MAX_PIXELS pixels, or no memory. */
bool MakeRgbaPicture(int32_t width, int32_t height, RgbaPicture* picture);

/* Releases the pixels and empties *picture. Safe on an empty picture. */
void FreeRgbaPicture(RgbaPicture* picture);

/* The picture drawn over an opaque background colour (red, green, blue),
   in the common picture form, top row first (negative header height): each
   channel becomes (c * a + background * (255 - a)) / 255, rounded. Empties
   *out first; returns false for an empty picture or no memory. */
bool FlattenRgbaPicture(const RgbaPicture* picture, const uint8_t background[3],
                        PreviewPicture* out);

#endif
