/*
 * palette.h -- palette files (".pal"): exactly the 1024 bytes of a sprite's
 * palette, 256 entries of red, green, blue and an ignored fourth byte, with
 * no header. Shown as a picture of their colours; used in place of a
 * sprite's own palette through DecodeSprPixelsWithPalette and
 * DecodeSprImage (sprite.h).
 *
 * Portable (static library caskwright_viewer).
 */
#ifndef CASKWRIGHT_PALETTE_H
#define CASKWRIGHT_PALETTE_H

#include <stdint.h>

#include "preview.h"

#define PALETTE_FILE_SIZE 1024

/* Swatch picture: 16 rows of 16 cells, entry i in row i / 16 and column
   i % 16, rows from the top. Each cell is PALETTE_CELL pixels square: a grid
   line of grey 128 along its top and left, then the colour; one more grid
   line closes the right and bottom edges. */
#define PALETTE_CELL 16
#define PALETTE_PICTURE_SIZE (16 * PALETTE_CELL + 1)
#define PALETTE_GRID_GREY 128

/* Whether an entry is a palette: exactly PALETTE_FILE_SIZE bytes. */
bool IsPaletteEntry(const uint8_t* data, uint32_t size);

/* The swatch picture of a palette entry in the common form, top row first
   (negative header height). Refused (false, *picture empty): entries that
   are not palettes. */
bool RenderPaletteSwatches(const uint8_t* data, uint32_t size, PreviewPicture* picture);

#endif
