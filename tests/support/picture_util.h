// picture_util.h -- entries built byte by byte for the decoder suites, the
// pictures they should give, and a JPEG encoder and reference decoder.
#ifndef CASKWRIGHT_PICTURE_UTIL_H
#define CASKWRIGHT_PICTURE_UTIL_H

#include <preview.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "test_support.h"

// A picture's pixel rows as bytes (stride * |height|); empty without pixels.
Bytes PixelsOf(const PreviewPicture& picture);

// Rows of packed blue-green-red pixels laid out at the common stride.
Bytes AlignedRows(uint32_t width, uint32_t height, const Bytes& packed);

// One grey level per pixel as blue-green-red rows at the common stride.
Bytes GreyRows(uint32_t width, uint32_t height, const Bytes& greys);

void PutLe16At(Bytes* bytes, size_t offset, uint16_t value);
void PutLe32At(Bytes* bytes, size_t offset, uint32_t value);

// Targa: 18-byte header (image type 2 unless told), identifier, pixels.
Bytes MakeTga(uint8_t bits, int16_t width, int16_t height, const Bytes& pixels,
              uint8_t idLength = 0, uint8_t descriptor = 0, uint8_t imageType = 2);

// Sprite of the given version bytes whose frames are already encoded
// records (palette records, then true-colour records), followed by a
// 1024-byte palette. Versions other than 1.1 get the true-colour count at
// offset 6.
Bytes MakeSpr(uint8_t minor, uint8_t major, uint16_t count, const std::vector<Bytes>& records,
              const Bytes& palette, uint16_t trueColourCount = 0);
// Records: width, height, (coded size,) indices.
Bytes RleRecord(uint16_t width, uint16_t height, const Bytes& coded);
Bytes RawRecord(uint16_t width, uint16_t height, const Bytes& indices);
// True-colour record: width, height, then the pixels given as rows of red,
// green, blue, alpha from the top, stored as alpha, blue, green, red from
// the bottom row up.
Bytes RgbaRecord(uint16_t width, uint16_t height, const Bytes& rgbaTopFirst);
// 256 entries of red, green, blue, fourth byte: entry i is (i, 255 - i, i / 2, 0).
Bytes RampPalette();

// Altitude map of width x height cells, each the four corner heights and a
// cell type.
struct GatCell {
    float corners[4];
    uint32_t type;
};
Bytes MakeGat(uint32_t width, uint32_t height, const std::vector<GatCell>& cells);

// Bitmap file: 14-byte file header, 40-byte info header, colour table,
// pixels, with the offsets and sizes of a well-formed file.
Bytes MakeBmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
              const Bytes& colourTable, const Bytes& pixels);

// JPEG of width x height from rows of `components` samples per pixel
// (1 grey, 3 red-green-blue, 4 CMYK); colour coded as YCbCr unless
// rgbCoded.
Bytes EncodeJpeg(uint32_t width, uint32_t height, int components, const Bytes& samples,
                 int quality = 90, bool progressive = false, bool rgbCoded = false);

// The library decoding the same bytes through its own memory source, in its
// default output: rows of output_components samples. width/height/components
// receive the output's; returns false when the library fails.
bool ReferenceJpegDecode(const Bytes& jpeg, Bytes* samples, uint32_t* width, uint32_t* height,
                         int* components);

Bytes ReadFixture(const std::string& relative);

#endif
