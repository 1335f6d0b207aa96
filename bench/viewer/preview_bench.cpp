// preview_bench -- each decoder's pixel work on a picture of typical size,
// beside a plain copy of the same output size; the JPEG path also beside
// the library decoding the same bytes through its own memory source.
#include <preview.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <vector>

#include "bench_common.h"
#include "picture_util.h"

namespace {

// Keeps the compiler from dropping work whose result is not otherwise used.
inline void Keep(const void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

// A smooth picture with some texture: what real images compress like.
Bytes Scene(uint32_t width, uint32_t height, int channels) {
    Bytes pixels(size_t(width) * height * channels);
    Bytes noise = RandomBytes(pixels.size(), 42);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                size_t i = (size_t(y) * width + x) * channels + c;
                pixels[i] = uint8_t((x * (c + 1) + y * (3 - c)) / 4 + noise[i] % 16);
            }
    return pixels;
}

Bytes SceneTga(uint32_t size, int bits) {
    Bytes pixels = Scene(size, size, bits / 8);
    if (bits == 32)
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = uint8_t(i % 3 ? 255 : i % 256);
    return MakeTga(uint8_t(bits), int16_t(size), int16_t(size), pixels);
}

// A 2.1 sprite of `frames` frames of side x side pixels: transparent runs
// around an opaque middle, as character sprites are.
Bytes SceneSprite(uint32_t frames, uint32_t side) {
    Bytes noise = RandomBytes(side * side, 7);
    std::vector<Bytes> records;
    for (uint32_t f = 0; f < frames; ++f) {
        Bytes coded;
        for (uint32_t y = 0; y < side; ++y) {
            uint32_t margin = (y * 7 + f) % (side / 3) + 1;
            coded.insert(coded.end(), {0, uint8_t(margin)});
            for (uint32_t x = margin; x < side - margin; ++x)
                coded.push_back(uint8_t(noise[(y * side + x + f) % noise.size()] | 1));
            coded.insert(coded.end(), {0, uint8_t(margin)});
        }
        records.push_back(RleRecord(uint16_t(side), uint16_t(side), coded));
    }
    return MakeSpr(1, 2, uint16_t(frames), records, RandomBytes(1024, 8));
}

Bytes SceneMap(uint32_t size) {
    std::vector<GatCell> cells(size_t(size) * size);
    for (uint32_t i = 0; i < cells.size(); ++i)
        for (int c = 0; c < 4; ++c)
            cells[i].corners[c] = float(int(i % 517) - 258) * 0.75f + float(c);
    return MakeGat(size, size, cells);
}

// Seconds of `reps` plain copies of `bytes` bytes into a buffer kept warm.
double CopySeconds(size_t bytes, int reps) {
    Bytes from = RandomBytes(bytes, 3);
    Bytes to(bytes);
    return BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                memcpy(to.data(), from.data(), bytes);
                Keep(to.data());
            }
        },
        5);
}

// The same copy into a newly allocated, zeroed picture each time: what any
// decoder that hands out a new picture pays at least.
double NewPictureCopySeconds(size_t bytes, int reps) {
    Bytes from = RandomBytes(bytes, 3);
    return BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                uint8_t* to = static_cast<uint8_t*>(calloc(bytes, 1));
                memcpy(to, from.data(), bytes);
                Keep(to);
                free(to);
            }
        },
        5);
}

size_t PictureBytes(const PreviewPicture& p) {
    return size_t(p.stride) * size_t(p.height < 0 ? -p.height : p.height);
}

// Best time of `reps` rounds of decoding pictures 1 to `pictures` with
// decode(number, picture); *out receives one round's output bytes.
double TimeDecoding(int reps, uint32_t pictures,
                    const std::function<bool(uint32_t, PreviewPicture*)>& decode, size_t* out) {
    return BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                *out = 0;
                for (uint32_t n = 1; n <= pictures; ++n) {
                    PreviewPicture picture;
                    if (!decode(n, &picture)) abort();
                    *out += PictureBytes(picture);
                    Keep(picture.pixels);
                    FreePreviewPicture(&picture);
                }
            }
        },
        5);
}

void BenchTga(int bits) {
    Bytes tga = SceneTga(1024, bits);
    const int reps = 20;
    size_t out = 0;
    double decode = TimeDecoding(
        reps, 1,
        [&](uint32_t, PreviewPicture* picture) {
            return DecodeTgaPixels(tga.data(), uint32_t(tga.size()), picture);
        },
        &out);
    char label[64];
    snprintf(label, sizeof label, "targa 1024 x 1024, %d-bit (x%d)", bits, reps);
    PrintBeside(label, decode, "copying the pixels", CopySeconds(out, reps), 0);
    snprintf(label, sizeof label, "  same, beside copy into a new picture");
    PrintBeside(label, decode, "copying into a new picture", NewPictureCopySeconds(out, reps), 0);
}

void BenchJpeg() {
    Bytes jpeg = EncodeJpeg(1024, 1024, 3, Scene(1024, 1024, 3));
    const int reps = 5;
    size_t out = 0;
    double ours = TimeDecoding(
        reps, 1,
        [&](uint32_t, PreviewPicture* picture) {
            return DecodeJpegPixels(jpeg.data(), uint32_t(jpeg.size()), picture);
        },
        &out);
    double library = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r) {
                Bytes samples;
                uint32_t width, height;
                int components;
                if (!ReferenceJpegDecode(jpeg, &samples, &width, &height, &components)) abort();
                Keep(samples.data());
            }
        },
        5);
    printf("JPEG of %zu bytes\n", jpeg.size());
    PrintBeside("JPEG 1024 x 1024 (x5)", ours, "copying the pixels", CopySeconds(out, reps), 0);
    PrintBeside("JPEG 1024 x 1024 (x5)", ours, "libjpeg alone", library, 1.2);
}

void BenchSprite() {
    const uint32_t frames = 100, side = 128;
    Bytes spr = SceneSprite(frames, side);
    const int reps = 5;
    size_t out = 0;
    double decode = TimeDecoding(
        reps, frames,
        [&](uint32_t frame, PreviewPicture* picture) {
            return DecodeSprPixels(spr.data(), uint32_t(spr.size()), frame, picture, nullptr);
        },
        &out);
    PrintBeside("sprite, all 100 frames of 128 x 128 (x5)", decode, "copying the pixels",
                CopySeconds(out, reps), 0);
}

void BenchMap() {
    Bytes gat = SceneMap(400);
    const int reps = 20;
    size_t out = 0;
    double decode = TimeDecoding(
        reps, 1,
        [&](uint32_t, PreviewPicture* picture) {
            return RenderGatPixels(gat.data(), uint32_t(gat.size()), picture);
        },
        &out);
    PrintBeside("map 400 x 400 (x20)", decode, "copying the pixels", CopySeconds(out, reps), 0);
}

}  // namespace

int main() {
    BenchTga(24);
    BenchTga(32);
    BenchJpeg();
    BenchSprite();
    BenchMap();
    return BenchExitCode();
}
