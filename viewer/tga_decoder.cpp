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
    uint8_t opaque[2][256];          // 24-bit pixels: opacity exactly 1
    uint16_t opaquePairs[2][65536];  // the same for two bytes at once
    uint8_t blended[2][256][256];    // 32-bit pixels: [tone][alpha][channel]
};

const BlendTables& Tables() {
    static const BlendTables* tables = [] {
        static BlendTables built;
        const double k = 1.0 / 255.0;
        for (int t = 0; t < 2; ++t) {
            for (uint32_t c = 0; c < 256; ++c) built.opaque[t][c] = BlendChannel(c, 1.0, kTones[t]);
            for (uint32_t pair = 0; pair < 65536; ++pair)
                built.opaquePairs[t][pair] =
                    uint16_t(built.opaque[t][pair & 0xFF] | built.opaque[t][pair >> 8] << 8);
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

// Eight bytes through a table of byte pairs, taken and stored as one word:
// half the lookups of a byte loop, and none of the stalls a byte loop gets
// when its loads and stores advance in step.
inline void BlendWord(const uint8_t* in, uint8_t* out, const uint16_t* pairs) {
    uint64_t word, blended = 0;
    memcpy(&word, in, 8);
    for (int i = 0; i < 64; i += 16) blended |= uint64_t(pairs[(word >> i) & 0xFFFF]) << i;
    memcpy(out, &blended, 8);
}

// A run of 24-bit pixels over one tone: every byte through the same table.
void BlendOpaque(const uint8_t* in, uint8_t* out, uint32_t pixels, const uint8_t* table,
                 const uint16_t* pairs) {
    uint32_t bytes = 3 * pixels, i = 0;
    for (; i + 8 <= bytes; i += 8) BlendWord(in + i, out + i, pairs);
    for (; i < bytes; ++i) out[i] = table[in[i]];
}

// A run of 32-bit pixels over one tone: each pixel's alpha picks its table.
void BlendAlpha(const uint8_t* in, uint8_t* out, uint32_t pixels, const uint8_t (*tables)[256]) {
    for (uint32_t i = 0; i < pixels; ++i, in += 4, out += 3) {
        const uint8_t* table = tables[in[3]];
        out[0] = table[in[0]];
        out[1] = table[in[1]];
        out[2] = table[in[2]];
    }
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
    uint32_t bytes = bits / 8;
    for (uint32_t y = 0; y < uint32_t(height); ++y) {
        const uint8_t* in = data + start + y * rowBytes;
        uint8_t* out = picture->pixels + size_t(y) * picture->stride;
        // The tone changes every 8 pixels: blend each such run as a whole.
        for (uint32_t x = 0; x < uint32_t(width);) {
            uint32_t run = 8 - (x & 7);
            if (run > uint32_t(width) - x) run = uint32_t(width) - x;
            int tone = ToneIndex(x, y);
            if (bytes == 3)
                BlendOpaque(in + 3 * x, out + 3 * x, run, tables.opaque[tone],
                            tables.opaquePairs[tone]);
            else
                BlendAlpha(in + 4 * size_t(x), out + 3 * x, run, tables.blended[tone]);
            x += run;
        }
    }
    return true;
}
