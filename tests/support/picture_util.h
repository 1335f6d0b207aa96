// picture_util.h -- entries built byte by byte for the decoder suites, the
// pictures they should give, a JPEG encoder and reference decoder, and PNG
// and GIF files read back by their libraries.
#ifndef CASKWRIGHT_PICTURE_UTIL_H
#define CASKWRIGHT_PICTURE_UTIL_H

#include <preview.h>
#include <stdint.h>

#include <array>
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

// Animation of the given version (0x205 is 0x205) laid out as that version
// stores it: the actions' frames and layers, then from 0x201 the events and
// from 0x202 the intervals (tail false leaves both out).
struct LayerSpec {
    int32_t x = 0, y = 0, image = 0;
    uint32_t mirror = 0;
    std::array<uint8_t, 4> tint = {255, 255, 255, 255};  // red, green, blue, alpha
    float scaleX = 1, scaleY = 1;
    int32_t rotation = 0, type = 0, width = 0, height = 0;
};
struct AnchorSpec {
    int32_t x, y, attribute;
};
struct FrameSpec {
    std::vector<LayerSpec> layers;
    int32_t event = -1;
    std::vector<AnchorSpec> anchors;
};
struct ActionSpec {
    std::vector<FrameSpec> frames;
    float interval = 4;
};
Bytes MakeAct(uint16_t version, const std::vector<ActionSpec>& actions,
              const std::vector<std::string>& events = {}, bool tail = true);

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

// libpng's own reading of a PNG, as rows of red, green, blue, alpha.
bool ReadPng(const Bytes& png, uint32_t* width, uint32_t* height, Bytes* rgba);

// giflib's own reading of a whole GIF: its size, whether it loops, and each
// frame's pixels (red, green, blue, alpha; transparent as 0, 0, 0, 0), delay
// in hundredths of a second and disposal.
struct GifFrame {
    Bytes rgba;
    int delay;
    int disposal;
};
struct GifRead {
    int width = 0, height = 0;
    bool loops = false;
    std::vector<GifFrame> frames;
};
bool ReadGif(const Bytes& bytes, GifRead* read);

#endif
