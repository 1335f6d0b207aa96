// spr_decoder.cpp -- one frame of a palette sprite. Three layouts share the
// "SP" header and the 1024-byte palette at the entry's end:
//   1.1: frame count at 4; frames from 6: width, height, raw indices;
//   2.0: frame count at 4; frames from 8: width, height, raw indices;
//   2.1: frame count at 4; frames from 8: width, height, coded size n,
//        n run-length coded indices.
// Frame records lie between the header and the palette; one that reaches
// into the palette is outside the frames. Versions 2.0 and 2.1 also count
// true-colour images at offset 6, stored after the palette frames: width,
// height, then 4 bytes a pixel (alpha, blue, green, red), bottom row first.
#include <stdlib.h>
#include <string.h>

#include "le_bytes.h"
#include "preview.h"
#include "sprite.h"

namespace {

const uint32_t kPaletteEntries = 256;
const uint32_t kPaletteSize = kPaletteEntries * 4;
// Largest coded frame that is decoded.
const uint32_t kMaxCodedSize = 20000;

struct SprLayout {
    uint32_t framesStart;   // offset of the first record
    uint32_t recordHeader;  // bytes before a record's indices
    bool runLength;         // indices coded in runs, with a size field
    bool trueColour;        // a true-colour image count at offset 6
};

bool LayoutOf(uint8_t minor, uint8_t major, SprLayout* layout) {
    if (major == 1 && minor == 1)
        *layout = {6, 4, false, false};
    else if (major == 2 && minor == 0)
        *layout = {8, 4, false, true};
    else if (major == 2 && minor == 1)
        *layout = {8, 6, true, true};
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

// A true-colour frame of the stepper (0-based image index) over the
// palette's entry 0, top row first.
bool DecodeTrueColourFrame(const uint8_t* data, uint32_t size, uint32_t image,
                           const uint8_t* palette, PreviewPicture* picture) {
    SprSheet sheet;
    if (!OpenSprSheet(data, size, &sheet)) return false;
    RgbaPicture frame;
    bool decoded = DecodeSprImage(&sheet, image, nullptr, &frame);
    CloseSprSheet(&sheet);
    if (!decoded) return false;
    bool flattened = FlattenRgbaPicture(&frame, palette, picture);
    FreeRgbaPicture(&frame);
    return flattened;
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

bool DecodeSprPixelsWithPalette(const uint8_t* data, uint32_t size, uint32_t frame,
                                const uint8_t* replacement, PreviewPicture* picture,
                                uint32_t* frameCount) {
    *picture = PreviewPicture{};
    if (frameCount) *frameCount = 0;
    if (!data || size < 6) return false;
    uint32_t indexedCount = GetLe16(data + 4);
    uint32_t count = indexedCount;
    SprLayout layout;
    bool known = LayoutOf(data[2], data[3], &layout);
    if (known && layout.trueColour && size >= 8) count += GetLe16(data + 6);
    if (frameCount) *frameCount = count;

    if (!known) return false;
    if (size < layout.framesStart + kPaletteSize) return false;
    if (frame < 1 || frame > count) return false;
    uint64_t end = size - kPaletteSize;
    const uint8_t* paletteBytes = replacement ? replacement : data + end;
    if (frame > indexedCount)
        return DecodeTrueColourFrame(data, size, frame - 1, paletteBytes, picture);

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
    memcpy(palette, paletteBytes, kPaletteSize);
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

bool DecodeSprPixels(const uint8_t* data, uint32_t size, uint32_t frame, PreviewPicture* picture,
                     uint32_t* frameCount) {
    return DecodeSprPixelsWithPalette(data, size, frame, nullptr, picture, frameCount);
}

// ---------------------------------------------------------------------------
// The image index: every record found once, both kinds.

bool OpenSprSheet(const uint8_t* data, uint32_t size, SprSheet* sheet) {
    *sheet = SprSheet{};
    if (!data || size < 6) return false;
    SprLayout layout;
    if (!LayoutOf(data[2], data[3], &layout)) return false;
    if (size < layout.framesStart + kPaletteSize) return false;
    uint32_t indexedCount = GetLe16(data + 4);
    uint32_t rgbaCount = layout.trueColour ? GetLe16(data + 6) : 0;
    uint32_t total = indexedCount + rgbaCount;
    // calloc: every image starts out missing.
    SprImage* images = static_cast<SprImage*>(calloc(total ? total : 1, sizeof(SprImage)));
    if (!images) return false;

    const uint64_t end = size - kPaletteSize;
    uint64_t pos = layout.framesStart;
    uint32_t i = 0;
    for (; i < indexedCount; ++i) {
        uint64_t length = RecordLength(data, pos, end, layout);
        if (length == 0) break;
        const uint8_t* record = data + pos;
        images[i] = {uint32_t(pos + layout.recordHeader), uint32_t(length - layout.recordHeader),
                     GetLe16(record), GetLe16(record + 2),
                     layout.runLength ? SPR_IMAGE_RLE : SPR_IMAGE_RAW};
        pos += length;
    }
    // True-colour records are found only after every palette record.
    for (uint32_t k = 0; i == indexedCount && k < rgbaCount; ++k) {
        const uint32_t kRgbaHeader = 4;
        if (end - pos < kRgbaHeader) break;
        const uint8_t* record = data + pos;
        uint16_t width = GetLe16(record), height = GetLe16(record + 2);
        uint64_t bytes = uint64_t(width) * height * 4;
        if (bytes > end - pos - kRgbaHeader) break;
        images[indexedCount + k] = {uint32_t(pos + kRgbaHeader), uint32_t(bytes), width, height,
                                    SPR_IMAGE_RGBA};
        pos += kRgbaHeader + bytes;
    }
    sheet->data = data;
    sheet->size = size;
    sheet->indexedCount = indexedCount;
    sheet->rgbaCount = rgbaCount;
    sheet->images = images;
    sheet->palette = data + end;
    return true;
}

void CloseSprSheet(SprSheet* sheet) {
    free(sheet->images);
    *sheet = SprSheet{};
}

namespace {

// One palette index as a pixel with transparency: entry 0 is transparent.
inline void PutIndexed(uint8_t* out, const uint8_t* palette, uint8_t index) {
    memcpy(out, palette + 4 * index, 3);
    out[3] = index == 0 ? 0 : 255;
}

void DecodeIndexed(const uint8_t* in, uint32_t count, const uint8_t* palette, uint8_t* out) {
    for (uint32_t i = 0; i < count; ++i, out += 4) PutIndexed(out, palette, in[i]);
}

// Runs as in DecodeSprRle, cut at `pixels`; the rest stays transparent.
void DecodeRuns(const uint8_t* coded, uint32_t n, const uint8_t* palette, uint8_t* out,
                uint32_t pixels) {
    uint32_t written = 0;
    for (uint32_t i = 0; i < n && written < pixels;) {
        uint8_t index = coded[i++];
        if (index != 0) {
            PutIndexed(out + 4 * size_t(written++), palette, index);
            continue;
        }
        if (i == n) break;
        uint32_t run = coded[i++];
        if (run > pixels - written) run = pixels - written;
        for (uint32_t r = 0; r < run; ++r) PutIndexed(out + 4 * size_t(written++), palette, 0);
    }
}

// Alpha, blue, green, red with the bottom row first, to red, green, blue,
// alpha with the top row first.
void DecodeTrueColour(const uint8_t* in, uint32_t width, uint32_t height, uint8_t* out) {
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = in + size_t(height - 1 - y) * width * 4;
        for (uint32_t x = 0; x < width; ++x, row += 4, out += 4) {
            out[0] = row[3];
            out[1] = row[2];
            out[2] = row[1];
            out[3] = row[0];
        }
    }
}

}  // namespace

bool DecodeSprImage(const SprSheet* sheet, uint32_t index, const uint8_t* palette,
                    RgbaPicture* picture) {
    *picture = RgbaPicture{};
    if (!sheet->images || index >= sheet->indexedCount + sheet->rgbaCount) return false;
    const SprImage& image = sheet->images[index];
    if (image.kind == SPR_IMAGE_MISSING) return false;
    if (!MakeRgbaPicture(image.width, image.height, picture)) return false;
    const uint8_t* in = sheet->data + image.offset;
    const uint8_t* colours = palette ? palette : sheet->palette;
    uint32_t pixels = uint32_t(image.width) * image.height;
    switch (image.kind) {
        case SPR_IMAGE_RAW:
            DecodeIndexed(in, pixels, colours, picture->pixels);
            break;
        case SPR_IMAGE_RLE:
            DecodeRuns(in, image.length, colours, picture->pixels, pixels);
            break;
        default:
            DecodeTrueColour(in, image.width, image.height, picture->pixels);
            break;
    }
    return true;
}
