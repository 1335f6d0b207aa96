// pal_decoder.cpp -- a palette file as a grid of its 256 colours.
#include <string.h>

#include "palette.h"

bool IsPaletteEntry(const uint8_t* data, uint32_t size) {
    return data && size == PALETTE_FILE_SIZE;
}

bool RenderPaletteSwatches(const uint8_t* data, uint32_t size, PreviewPicture* picture) {
    *picture = PreviewPicture{};
    if (!IsPaletteEntry(data, size)) return false;
    const int32_t side = PALETTE_PICTURE_SIZE;
    if (!MakePreviewPicture(side, -side, picture)) return false;
    for (int32_t y = 0; y < side; ++y) {
        uint8_t* row = picture->pixels + size_t(y) * picture->stride;
        for (int32_t x = 0; x < side; ++x, row += 3) {
            if (x % PALETTE_CELL == 0 || y % PALETTE_CELL == 0) {
                memset(row, PALETTE_GRID_GREY, 3);
                continue;
            }
            const uint8_t* entry = data + 4 * ((y / PALETTE_CELL) * 16 + x / PALETTE_CELL);
            row[0] = entry[2];  // blue, green, red in the common form
            row[1] = entry[1];
            row[2] = entry[0];
        }
    }
    return true;
}
