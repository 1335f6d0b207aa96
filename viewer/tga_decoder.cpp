// tga_decoder.cpp -- uncompressed true-colour targa over a grey
// checkerboard. Built without floating-point contraction: the blend is
// double arithmetic whose truncation decides every output byte, and a fused
// multiply-add would move some of them by one.
#include <string.h>

#include "le_bytes.h"
#include "preview.h"

namespace {

const uint32_t kHeaderSize = 18;
const uint8_t kTrueColour = 2;

// The two tones of the checkerboard behind transparent pixels.
const double kTones[2] = {0.4, 0.6};

uint8_t BlendChannel(uint32_t channel, double opacity, double tone) {
    const double k = 1.0 / 255.0;
    double value = ((channel * k - tone) * opacity + tone) * 255.0;
    return uint8_t(int32_t(value));
}

// Every output byte depends only on tone, opacity and channel, so it is
// computed once per combination by the blend itself.
struct BlendTables {
    uint8_t opaque[2][256];        // 24-bit pixels: opacity exactly 1
    uint8_t blended[2][256][256];  // 32-bit pixels: [tone][alpha][channel]
};

const BlendTables& Tables() {
    static const BlendTables* tables = [] {
        static BlendTables built;
        const double k = 1.0 / 255.0;
        for (int t = 0; t < 2; ++t) {
            for (uint32_t c = 0; c < 256; ++c) built.opaque[t][c] = BlendChannel(c, 1.0, kTones[t]);
            for (uint32_t a = 0; a < 256; ++a)
                for (uint32_t c = 0; c < 256; ++c)
                    built.blended[t][a][c] = BlendChannel(c, a * k, kTones[t]);
        }
        return &built;
    }();
    return *tables;
}

// Tone index of pixel x in stored row y: the lighter tone where exactly one
// of x & 8 and y & 8 is set, so squares alternate from the bottom-left.
inline int ToneIndex(uint32_t x, uint32_t y) {
    return ((x & 8) != 0) != ((y & 8) != 0) ? 1 : 0;
}

}  // namespace

bool DecodeTgaPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture) {
    *picture = PreviewPicture{};
    if (!data || size < kHeaderSize) return false;
    if (data[2] != kTrueColour) return false;
    int32_t width = int16_t(GetLe16(data + 12));
    int32_t height = int16_t(GetLe16(data + 14));
    uint32_t bits = data[16];
    if (bits != 24 && bits != 32) return false;
    if (width <= 0 || height <= 0) return false;

    uint64_t start = kHeaderSize + uint64_t(data[0]);
    uint64_t rowBytes = uint64_t(width) * (bits / 8);
    if (start > size || rowBytes * uint64_t(height) > size - start) return false;
    if (!MakePreviewPicture(width, height, picture)) return false;

    const BlendTables& tables = Tables();
    for (uint32_t y = 0; y < uint32_t(height); ++y) {
        const uint8_t* in = data + start + y * rowBytes;
        uint8_t* out = picture->pixels + size_t(y) * picture->stride;
        for (uint32_t x = 0; x < uint32_t(width); ++x, out += 3) {
            int tone = ToneIndex(x, y);
            if (bits == 24) {
                const uint8_t* table = tables.opaque[tone];
                out[0] = table[in[0]];
                out[1] = table[in[1]];
                out[2] = table[in[2]];
                in += 3;
            } else {
                const uint8_t* table = tables.blended[tone][in[3]];
                out[0] = table[in[0]];
                out[1] = table[in[1]];
                out[2] = table[in[2]];
                in += 4;
            }
        }
    }
    return true;
}
