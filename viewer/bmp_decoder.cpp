// bmp_decoder.cpp -- checks a bitmap file against the entry before the
// platform converts it: the platform trusts every size and offset in the
// header, so each one is compared with the bytes that are really there.
#include <stdlib.h>

#include "le_bytes.h"
#include "preview.h"

namespace {

const uint32_t kFileHeaderSize = 14;
const uint32_t kInfoHeaderSize = 40;
// Header size from which the colour masks are part of the header itself.
const uint32_t kMasksInHeaderSize = 108;

enum BmpCompression : uint32_t { BMP_RGB = 0, BMP_RLE8 = 1, BMP_RLE4 = 2, BMP_BITFIELDS = 3 };

bool KnownBitCount(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool CheckBmpEntry(const uint8_t* data, uint32_t size, BmpLayout* layout) {
    *layout = BmpLayout{};
    if (!data || size < kFileHeaderSize + kInfoHeaderSize) return false;
    if (data[0] != 'B' || data[1] != 'M') return false;

    const uint8_t* info = data + kFileHeaderSize;
    uint32_t infoSize = GetLe32(info);
    if (infoSize < kInfoHeaderSize || infoSize > size - kFileHeaderSize) return false;
    int32_t width = int32_t(GetLe32(info + 4));
    int32_t height = int32_t(GetLe32(info + 8));
    uint16_t planes = GetLe16(info + 12);
    uint16_t bits = GetLe16(info + 14);
    uint32_t compression = GetLe32(info + 16);
    uint32_t imageSize = GetLe32(info + 20);
    uint32_t coloursUsed = GetLe32(info + 32);

    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    uint64_t rows = height < 0 ? uint64_t(-int64_t{height}) : uint64_t(height);
    if (uint64_t(width) * rows > PREVIEW_MAX_PIXELS) return false;
    if (planes != 1 || !KnownBitCount(bits)) return false;

    uint64_t rowBytes = (uint64_t(width) * bits + 31) / 32 * 4;
    uint64_t pixelBytes = rowBytes * rows;
    uint64_t maskBytes = 0;
    switch (compression) {
        case BMP_RGB:
            break;
        case BMP_RLE8:
        case BMP_RLE4:
            // Run-length data is as long as the header says; it is stored
            // bottom-up only.
            if (bits != (compression == BMP_RLE8 ? 8 : 4) || height < 0 || imageSize == 0)
                return false;
            pixelBytes = imageSize;
            break;
        case BMP_BITFIELDS:
            if (bits != 16 && bits != 32) return false;
            if (infoSize < kMasksInHeaderSize) maskBytes = 12;
            break;
        default:
            return false;
    }

    // The colour table the platform reads: every entry the depth allows, or
    // the count the header names.
    uint64_t colours = coloursUsed;
    if (bits <= 8) {
        uint32_t most = 1u << bits;
        if (coloursUsed > most) return false;
        if (coloursUsed == 0) colours = most;
    }
    uint64_t infoBytes = uint64_t(infoSize) + maskBytes + 4 * colours;
    if (infoBytes > size - kFileHeaderSize) return false;

    uint32_t pixelOffset = GetLe32(data + 10);
    if (pixelOffset > size || pixelBytes > size - pixelOffset) return false;

    layout->infoOffset = kFileHeaderSize;
    layout->infoBytes = uint32_t(infoBytes);
    layout->pixelOffset = pixelOffset;
    layout->pixelBytes = uint32_t(pixelBytes);
    layout->width = width;
    layout->height = height;
    return true;
}
