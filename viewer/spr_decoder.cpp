// spr_decoder.cpp -- one frame of a palette sprite. Three layouts share the
// "SP" header and the 1024-byte palette at the entry's end:
//   1.1: frame count at 4; frames from 6: width, height, raw indices;
//   2.0: frame count at 4; frames from 8: width, height, raw indices;
//   2.1: frame count at 4; frames from 8: width, height, coded size n,
//        n run-length coded indices.
// Frame records lie between the header and the palette; one that reaches
// into the palette is outside the frames.
#include <stdlib.h>
#include <string.h>

#include "le_bytes.h"
#include "preview.h"

namespace {

const uint32_t kPaletteEntries = 256;
const uint32_t kPaletteSize = kPaletteEntries * 4;
// Largest coded frame that is decoded.
const uint32_t kMaxCodedSize = 20000;

struct SprLayout {
    uint32_t framesStart;   // offset of the first record
    uint32_t recordHeader;  // bytes before a record's indices
    bool runLength;         // indices coded in runs, with a size field
};

bool LayoutOf(uint8_t minor, uint8_t major, SprLayout* layout) {
    if (major == 1 && minor == 1)
        *layout = {6, 4, false};
    else if (major == 2 && minor == 0)
        *layout = {8, 4, false};
    else if (major == 2 && minor == 1)
        *layout = {8, 6, true};
    else
        return false;
    return true;
}

// Length of the record at pos, which must fit before end; 0 when it does not.
uint64_t RecordLength(const uint8_t* data, uint64_t pos, uint64_t end, const SprLayout& layout) {
    if (layout.recordHeader > end - pos) return 0;
    const uint8_t* record = data + pos;
    uint64_t payload =
        layout.runLength ? GetLe16(record + 4) : uint64_t(GetLe16(record)) * GetLe16(record + 2);
    uint64_t length = layout.recordHeader + payload;
    return length <= end - pos ? length : 0;
}

void LookUpIndices(const uint8_t* indices, uint32_t count, const uint8_t* palette, uint8_t* out) {
    for (uint32_t i = 0; i < count; ++i, out += 3) memcpy(out, palette + 4 * indices[i], 3);
}

}  // namespace

void SwapPaletteOrder(uint8_t* palette, uint32_t count) {
    // Every entry, whatever its fourth byte: the decoder reads bytes 0 to 2
    // of each as blue, green, red.
    for (uint32_t i = 0; i < count; ++i, palette += 4) {
        uint8_t red = palette[0];
        palette[0] = palette[2];
        palette[2] = red;
    }
}

uint32_t DecodeSprRle(const uint8_t* coded, uint32_t n, uint32_t /*width*/, uint32_t limit,
                      uint8_t* out, const uint8_t* palette) {
    uint32_t written = 0;
    uint32_t i = 0;
    while (i < n) {
        uint32_t index = coded[i++];
        uint32_t run = 1;
        if (index == 0) {
            // A zero byte and its count m: m pixels of entry 0, none for 0.
            if (i == n) break;
            run = coded[i++];
        }
        const uint8_t* colour = palette + 4 * index;
        for (uint32_t r = 0; r < run; ++r) {
            if (limit - written < 3) return written;
            memcpy(out + written, colour, 3);
            written += 3;
        }
    }
    return written;
}

void AlignSprRows(const uint8_t* packed, uint32_t width, uint32_t height, uint8_t* dest) {
    size_t rowBytes = size_t(width) * 3;
    size_t stride = RoundUpTo4(width * 3);
    for (uint32_t y = 0; y < height; ++y, packed += rowBytes, dest += stride) {
        memcpy(dest, packed, rowBytes);
        memset(dest + rowBytes, 0, stride - rowBytes);
    }
}

bool DecodeSprPixels(const uint8_t* data, uint32_t size, uint32_t frame, PreviewPicture* picture,
                     uint32_t* frameCount) {
    *picture = PreviewPicture{};
    if (frameCount) *frameCount = 0;
    if (!data || size < 6) return false;
    uint32_t count = GetLe16(data + 4);
    if (frameCount) *frameCount = count;

    SprLayout layout;
    if (!LayoutOf(data[2], data[3], &layout)) return false;
    if (size < layout.framesStart + kPaletteSize) return false;
    if (frame < 1 || frame > count) return false;
    uint64_t end = size - kPaletteSize;

    uint64_t pos = layout.framesStart;
    for (uint32_t k = 1; k < frame; ++k) {
        uint64_t length = RecordLength(data, pos, end, layout);
        if (length == 0) return false;
        pos += length;
    }
    if (RecordLength(data, pos, end, layout) == 0) return false;
    const uint8_t* record = data + pos;
    uint32_t width = GetLe16(record);
    uint32_t height = GetLe16(record + 2);
    uint32_t coded = layout.runLength ? GetLe16(record + 4) : width * height;
    if (layout.runLength && coded > kMaxCodedSize) return false;
    if (width == 0 || height == 0) return false;

    uint8_t palette[kPaletteSize];
    memcpy(palette, data + end, kPaletteSize);
    SwapPaletteOrder(palette, kPaletteEntries);

    if (!MakePreviewPicture(int32_t(width), -int32_t(height), picture)) return false;
    // Room for a third more pixels than the frame holds: runs may overshoot
    // the frame, and whatever lies past its last row is never shown.
    uint32_t limit = 4 * width * height;
    uint8_t* packed = static_cast<uint8_t*>(calloc(limit, 1));
    if (!packed) {
        FreePreviewPicture(picture);
        return false;
    }
    const uint8_t* indices = record + layout.recordHeader;
    if (layout.runLength)
        DecodeSprRle(indices, coded, width, limit, packed, palette);
    else
        LookUpIndices(indices, coded, palette, packed);
    AlignSprRows(packed, width, height, picture->pixels);
    free(packed);
    return true;
}
