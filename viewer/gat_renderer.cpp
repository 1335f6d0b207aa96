// gat_renderer.cpp -- an altitude map as grey relief, one pixel per cell.
// Built without floating-point contraction so that the double sum and
// scale are exactly the operations written here.
#include <float.h>
#include <math.h>
#include <string.h>

#include "le_bytes.h"
#include "preview.h"

namespace {

const uint32_t kHeaderSize = 14;
const uint32_t kCellSize = 20;

// A corner height as a number the grey formula can use: not-a-number counts
// as 0 and an infinity as the largest float, so the sum is always finite.
double CornerHeight(const uint8_t* p) {
    uint32_t bits = GetLe32(p);
    float height;
    memcpy(&height, &bits, sizeof height);
    if (isnan(height)) return 0.0;
    if (isinf(height)) return height > 0 ? FLT_MAX : -FLT_MAX;
    return height;
}

uint8_t CellGrey(const uint8_t* cell) {
    // Fourth corner first, as the relief has always been summed.
    double sum = CornerHeight(cell + 12);
    sum += CornerHeight(cell + 8);
    sum += CornerHeight(cell + 4);
    sum += CornerHeight(cell);
    // The mean truncated toward zero and limited to -128..128; the limits
    // are applied while it is still a double, so the conversion always fits
    // (and truncates as the conversion does).
    double mean = sum * 0.25;
    int32_t level = mean >= 128.0 ? 128 : mean <= -128.0 ? -128 : int32_t(mean);
    int32_t grey = 128 - level;
    return uint8_t(grey > 255 ? 255 : grey);
}

}  // namespace

bool RenderGatPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture) {
    *picture = PreviewPicture{};
    if (!data || size < kHeaderSize) return false;
    uint32_t width = GetLe32(data + 6);
    uint32_t height = GetLe32(data + 10);
    if (width == 0 || height == 0) return false;
    uint64_t cells = uint64_t(width) * height;
    // Bounded first, so that the byte count below cannot overflow.
    if (cells > PREVIEW_MAX_PIXELS) return false;
    if (cells * kCellSize > size - kHeaderSize) return false;
    if (!MakePreviewPicture(int32_t(width), int32_t(height), picture)) return false;

    const uint8_t* cell = data + kHeaderSize;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* out = picture->pixels + size_t(y) * picture->stride;
        for (uint32_t x = 0; x < width; ++x, cell += kCellSize, out += 3)
            out[0] = out[1] = out[2] = CellGrey(cell);
    }
    return true;
}
