// tga_decoder.cpp -- true-colour and grey targa, plain or run-length, over a
// grey checkerboard. Built without floating-point contraction: the blend is
// double arithmetic whose truncation decides every output byte, and a fused
// multiply-add would move some of them by one.
//
// Plain 24- and 32-bit rows stored left to right are blended straight from
// the entry; every other kind is first unpacked (runs) and turned into such
// rows (16-bit and grey pixels), one row at a time.
#include <stdlib.h>
#include <string.h>

#include "le_bytes.h"
#include "preview.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <tmmintrin.h>
#define TGA_SSSE3 1
#endif

namespace {

const uint32_t kHeaderSize = 18;
// Image types: true-colour and grey, plain and run-length.
const uint8_t kTrueColour = 2;
const uint8_t kGrey = 3;
const uint8_t kRunLength = 8;  // added to the plain type
// Image descriptor bits.
const uint8_t kRightToLeft = 0x10;
const uint8_t kTopFirst = 0x20;
const uint8_t kAttributeBits = 0x0F;

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
    // Opaque channels come out as c or c - 1: bit c of dropBits[tone] is set
    // where the blend drops c by one. Valid when dropsByOne.
    uint8_t dropBits[2][32];
    bool dropsByOne;
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
        built.dropsByOne = true;
        for (int t = 0; t < 2; ++t) {
            for (uint32_t c = 0; c < 256; ++c) {
                uint32_t value = built.opaque[t][c];
                if (value + 1 == c)
                    built.dropBits[t][c / 8] |= uint8_t(1u << (c % 8));
                else if (value != c)
                    built.dropsByOne = false;
            }
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

// A row of 24-bit pixels, run by run.
void BlendOpaqueRow(const uint8_t* in, uint8_t* out, uint32_t from, uint32_t width, uint32_t y,
                    const BlendTables& tables) {
    for (uint32_t x = from; x < width;) {
        uint32_t run = 8 - (x & 7);
        if (run > width - x) run = width - x;
        int tone = ToneIndex(x, y);
        BlendOpaque(in + 3 * x, out + 3 * x, run, tables.opaque[tone], tables.opaquePairs[tone]);
        x += run;
    }
}

#ifdef TGA_SSSE3
// 16 channels at once: 0xFF where the blend drops the channel by one,
// looked up bit by bit in the tone's 256-bit drop table.
__attribute__((target("ssse3"))) inline __m128i Drops(__m128i channels, __m128i low, __m128i high) {
    const __m128i bitOf = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
    __m128i index = _mm_and_si128(_mm_srli_epi16(channels, 3), _mm_set1_epi8(0x0F));
    __m128i upper = _mm_cmplt_epi8(channels, _mm_setzero_si128());  // channel >= 128
    __m128i bits = _mm_or_si128(_mm_and_si128(upper, _mm_shuffle_epi8(high, index)),
                                _mm_andnot_si128(upper, _mm_shuffle_epi8(low, index)));
    __m128i bit = _mm_shuffle_epi8(bitOf, _mm_and_si128(channels, _mm_set1_epi8(7)));
    return _mm_cmpeq_epi8(_mm_and_si128(bits, bit), bit);
}

// The same row 16 pixels (48 bytes, two runs of 8) at a time: the first
// run's tone covers bytes 0 to 23, the second's bytes 24 to 47.
__attribute__((target("ssse3"))) void BlendOpaqueRowSsse3(const uint8_t* in, uint8_t* out,
                                                          uint32_t width, uint32_t y,
                                                          const BlendTables& tables) {
    int first = ToneIndex(0, y), second = 1 - first;
    const __m128i lowA = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.dropBits[first]));
    const __m128i highA =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.dropBits[first] + 16));
    const __m128i lowB = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.dropBits[second]));
    const __m128i highB =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(tables.dropBits[second] + 16));
    const __m128i secondHalf =
        _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1);
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i* from = reinterpret_cast<const __m128i*>(in + 3 * x);
        __m128i* to = reinterpret_cast<__m128i*>(out + 3 * x);
        __m128i v0 = _mm_loadu_si128(from);
        __m128i v1 = _mm_loadu_si128(from + 1);
        __m128i v2 = _mm_loadu_si128(from + 2);
        __m128i d1 = _mm_or_si128(_mm_andnot_si128(secondHalf, Drops(v1, lowA, highA)),
                                  _mm_and_si128(secondHalf, Drops(v1, lowB, highB)));
        // Adding 0xFF takes one away where the channel drops.
        _mm_storeu_si128(to, _mm_add_epi8(v0, Drops(v0, lowA, highA)));
        _mm_storeu_si128(to + 1, _mm_add_epi8(v1, d1));
        _mm_storeu_si128(to + 2, _mm_add_epi8(v2, Drops(v2, lowB, highB)));
    }
    BlendOpaqueRow(in, out, x, width, y, tables);
}

bool HaveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

// A run of 32-bit pixels over one tone: each pixel's alpha picks its table.
void BlendAlpha(const uint8_t* in, uint8_t* out, uint32_t pixels, const uint8_t (*tables)[256]) {
    for (uint32_t i = 0; i < pixels; ++i, in += 4, out += 3) {
        const uint8_t* table = tables[in[3]];
        out[0] = table[in[0]];
        out[1] = table[in[1]];
        out[2] = table[in[2]];
    }
}

// What the header says, checked.
struct TgaLayout {
    uint64_t start;  // first pixel byte: after header, identifier, map
    int32_t width, height;
    uint32_t pixelBytes;  // stored bytes a pixel
    uint32_t outBytes;    // 3 (blue, green, red) or 4 (and alpha) after unpacking
    bool grey, runLength, topFirst, rightToLeft;
    bool alphaBit;  // 16-bit pixels: the top bit is opacity
};

bool ReadLayout(const uint8_t* data, uint32_t size, TgaLayout* t) {
    if (size < kHeaderSize || data[1] > 1) return false;
    uint8_t type = data[2];
    t->runLength = type & kRunLength;
    type &= uint8_t(~kRunLength);
    if (type != kTrueColour && type != kGrey) return false;
    t->grey = type == kGrey;
    uint32_t bits = data[16];
    if (t->grey ? bits != 8 && bits != 16 : bits != 15 && bits != 16 && bits != 24 && bits != 32)
        return false;
    t->width = int16_t(GetLe16(data + 12));
    t->height = int16_t(GetLe16(data + 14));
    if (t->width <= 0 || t->height <= 0) return false;
    t->pixelBytes = (bits + 7) / 8;
    uint8_t descriptor = data[17];
    t->topFirst = descriptor & kTopFirst;
    t->rightToLeft = descriptor & kRightToLeft;
    t->alphaBit = !t->grey && bits == 16 && (descriptor & kAttributeBits) != 0;
    t->outBytes = bits == 32 || t->alphaBit || (t->grey && bits == 16) ? 4 : 3;
    // A colour map (type 1) that true-colour pixels do not use is skipped.
    uint64_t mapBytes = data[1] ? uint64_t(GetLe16(data + 5)) * ((data[7] + 7u) / 8) : 0;
    t->start = kHeaderSize + uint64_t(data[0]) + mapBytes;
    return t->start <= size;
}

// Stored pixels in file order, plain or run-length coded, handed out a row
// at a time. Run-length packets are a header byte, then one pixel repeated
// (high bit set) or (low bits + 1) pixels as they are; runs may cross rows.
struct PixelStream {
    const uint8_t* in;
    uint64_t available;
    uint64_t at = 0;
    uint32_t pixelBytes;
    bool runLength;
    uint32_t left = 0;  // pixels left in the current packet
    bool repeated = false;
    const uint8_t* pixel = nullptr;  // a repeat packet's pixel
};

template <uint32_t kBytes>
bool ReadRunsOf(PixelStream* s, uint8_t* out, uint32_t n) {
    while (n > 0) {
        if (s->left == 0) {
            if (s->at >= s->available) return false;
            uint8_t packet = s->in[s->at++];
            s->left = (packet & 0x7Fu) + 1;
            s->repeated = packet & 0x80;
            if (s->repeated) {
                if (s->available - s->at < kBytes) return false;
                s->pixel = s->in + s->at;
                s->at += kBytes;
            }
        }
        uint32_t take = s->left < n ? s->left : n;
        if (s->repeated) {
            // A fixed-size copy per pixel: no call, one store.
            for (uint32_t i = 0; i < take; ++i) memcpy(out + i * kBytes, s->pixel, kBytes);
        } else {
            uint64_t bytes = uint64_t(take) * kBytes;
            if (bytes > s->available - s->at) return false;
            memcpy(out, s->in + s->at, bytes);
            s->at += bytes;
        }
        out += size_t(take) * kBytes;
        n -= take;
        s->left -= take;
    }
    return true;
}

// The next row of `width` stored pixels: straight from the entry when plain
// (rows were checked to fit), decoded into `buffer` when run-length. Null
// when the run-length data ends before the row does.
const uint8_t* NextRow(PixelStream* s, uint32_t width, uint8_t* buffer) {
    if (!s->runLength) {
        const uint8_t* row = s->in + s->at;
        s->at += uint64_t(width) * s->pixelBytes;
        return row;
    }
    bool ok;
    switch (s->pixelBytes) {
        case 1:
            ok = ReadRunsOf<1>(s, buffer, width);
            break;
        case 2:
            ok = ReadRunsOf<2>(s, buffer, width);
            break;
        case 3:
            ok = ReadRunsOf<3>(s, buffer, width);
            break;
        default:
            ok = ReadRunsOf<4>(s, buffer, width);
            break;
    }
    return ok ? buffer : nullptr;
}

inline uint8_t Widen5(uint32_t c) {
    return uint8_t(c << 3 | c >> 2);
}

// One stored row as blue, green, red (and alpha) pixels, left to right.
void UnpackRow(const uint8_t* in, const TgaLayout& t, bool opaque16, uint8_t* out) {
    uint32_t width = uint32_t(t.width);
    for (uint32_t x = 0; x < width; ++x, in += t.pixelBytes) {
        uint8_t* to = out + size_t(t.rightToLeft ? width - 1 - x : x) * t.outBytes;
        if (t.grey) {
            to[0] = to[1] = to[2] = in[0];
            if (t.outBytes == 4) to[3] = in[1];
        } else if (t.pixelBytes == 2) {
            uint32_t v = GetLe16(in);
            to[0] = Widen5(v & 31);
            to[1] = Widen5(v >> 5 & 31);
            to[2] = Widen5(v >> 10 & 31);
            if (t.outBytes == 4) to[3] = opaque16 || (v & 0x8000) ? 255 : 0;
        } else {
            memcpy(to, in, t.outBytes);
        }
    }
}

// Files that declare an opacity bit and leave it clear everywhere mean an
// opaque picture, not an invisible one. Reads the pixels once ahead.
bool NoAlphaBitSet(PixelStream stream, uint32_t width, uint32_t height, uint8_t* buffer) {
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = NextRow(&stream, width, buffer);
        if (!row) return true;  // the decoding proper refuses it
        for (uint32_t x = 0; x < width; ++x)
            if (row[2 * x + 1] & 0x80) return false;
    }
    return true;
}

void BlendRow(const uint8_t* in, uint8_t* out, uint32_t width, uint32_t y, uint32_t bytes,
              const BlendTables& tables, bool vector) {
    if (bytes == 3) {
#ifdef TGA_SSSE3
        if (vector) {
            BlendOpaqueRowSsse3(in, out, width, y, tables);
            return;
        }
#else
        (void)vector;
#endif
        BlendOpaqueRow(in, out, 0, width, y, tables);
        return;
    }
    // The tone changes every 8 pixels: blend each such run as a whole.
    for (uint32_t x = 0; x < width;) {
        uint32_t run = 8 - (x & 7);
        if (run > width - x) run = width - x;
        BlendAlpha(in + 4 * size_t(x), out + 3 * x, run, tables.blended[ToneIndex(x, y)]);
        x += run;
    }
}

}  // namespace

bool DecodeTgaPixels(const uint8_t* data, uint32_t size, PreviewPicture* picture) {
    *picture = PreviewPicture{};
    TgaLayout t;
    if (!data || !ReadLayout(data, size, &t)) return false;
    uint64_t rowBytes = uint64_t(t.width) * t.pixelBytes;
    if (!t.runLength && rowBytes * uint64_t(t.height) > size - t.start) return false;
    if (!MakePreviewPicture(t.width, t.height, picture)) return false;

    // One row of stored pixels (run-length) and one as blending wants it.
    bool direct = !t.grey && t.pixelBytes >= 3 && !t.rightToLeft;
    uint8_t* stored = static_cast<uint8_t*>(malloc(size_t(rowBytes)));
    uint8_t* row = static_cast<uint8_t*>(malloc(size_t(t.width) * t.outBytes));
    PixelStream stream = {data + t.start, size - t.start};
    stream.pixelBytes = t.pixelBytes;
    stream.runLength = t.runLength;
    bool ok = stored && row;
    bool opaque16 =
        ok && t.alphaBit && NoAlphaBitSet(stream, uint32_t(t.width), uint32_t(t.height), stored);

    const BlendTables& tables = Tables();
    bool vector = false;
#ifdef TGA_SSSE3
    vector = tables.dropsByOne && HaveSsse3();
#endif
    for (uint32_t y = 0; ok && y < uint32_t(t.height); ++y) {
        const uint8_t* in = NextRow(&stream, uint32_t(t.width), stored);
        if (!in) {
            ok = false;
            break;
        }
        if (!direct) {
            UnpackRow(in, t, opaque16, row);
            in = row;
        }
        // The picture's first row in memory is its bottom row: a file
        // stored top row first fills it from the other end.
        uint32_t line = t.topFirst ? uint32_t(t.height) - 1 - y : y;
        uint8_t* out = picture->pixels + size_t(line) * picture->stride;
        BlendRow(in, out, uint32_t(t.width), line, t.outBytes, tables, vector);
    }
    free(row);
    free(stored);
    if (!ok) FreePreviewPicture(picture);
    return ok;
}
