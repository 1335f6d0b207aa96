// rgba.cpp -- the picture form with transparency, and drawing it over a
// background into the common picture form.
#include "rgba.h"

#include <stdlib.h>

bool MakeRgbaPicture(int32_t width, int32_t height, RgbaPicture* picture) {
    *picture = RgbaPicture{};
    if (width <= 0 || height <= 0) return false;
    // In 64 bits: neither side can overflow before the bound is applied.
    if (uint64_t(width) * uint64_t(height) > PREVIEW_MAX_PIXELS) return false;
    uint8_t* pixels = static_cast<uint8_t*>(calloc(size_t(width) * size_t(height), 4));
    if (!pixels) return false;
    picture->width = width;
    picture->height = height;
    picture->pixels = pixels;
    return true;
}

void FreeRgbaPicture(RgbaPicture* picture) {
    free(picture->pixels);
    *picture = RgbaPicture{};
}

bool FlattenRgbaPicture(const RgbaPicture* picture, const uint8_t background[3],
                        PreviewPicture* out) {
    *out = PreviewPicture{};
    if (!picture->pixels) return false;
    if (!MakePreviewPicture(picture->width, -picture->height, out)) return false;
    const uint8_t* in = picture->pixels;
    for (int32_t y = 0; y < picture->height; ++y) {
        uint8_t* row = out->pixels + size_t(y) * out->stride;
        for (int32_t x = 0; x < picture->width; ++x, in += 4, row += 3) {
            uint32_t a = in[3];
            // Blue, green, red in the common form; red, green, blue here.
            for (int c = 0; c < 3; ++c)
                row[2 - c] = uint8_t((in[c] * a + background[c] * (255 - a) + 127) / 255);
        }
    }
    return true;
}
