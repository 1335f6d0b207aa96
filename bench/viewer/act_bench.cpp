// act_bench -- an animation's frames composed and an action exported as
// GIF, beside the bare work of copying the same pixels; run-length targa
// beside the plain file of the same picture.
#include <act.h>
#include <export.h>
#include <preview.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "bench_common.h"
#include "picture_util.h"

namespace {

inline void Keep(const void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

void Put32(Bytes* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

uint32_t FloatBits(float f) {
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return bits;
}

const uint32_t kFrames = 8, kWidth = 120, kHeight = 100, kSide = 64;

// A character's sprite: 8 palette images of 120 x 100 with transparent
// margins, 2 true-colour images of 64 x 64 with soft alpha.
Bytes SceneSprite() {
    Bytes noise = RandomBytes(kWidth * kHeight, 7);
    std::vector<Bytes> records;
    for (uint32_t f = 0; f < kFrames; ++f) {
        Bytes coded;
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint32_t margin = (y * 7 + f) % (kWidth / 3) + 1;
            coded.insert(coded.end(), {0, uint8_t(margin)});
            for (uint32_t x = margin; x < kWidth - margin; ++x)
                coded.push_back(uint8_t(noise[(y * kWidth + x + f) % noise.size()] | 1));
            coded.insert(coded.end(), {0, uint8_t(margin)});
        }
        records.push_back(RleRecord(kWidth, kHeight, coded));
    }
    for (int i = 0; i < 2; ++i) {
        Bytes rgba = RandomBytes(kSide * kSide * 4, 9 + i);
        records.push_back(RgbaRecord(kSide, kSide, rgba));
    }
    return MakeSpr(1, 2, uint16_t(kFrames), records, RandomBytes(1024, 8), 2);
}

// One action of 8 frames, each 4 layers: the body, its mirror beside it,
// the body scaled by 1.5 behind, and a tinted true-colour effect turned by
// 30 degrees, as 0x205 stores them.
Bytes SceneAnimation() {
    Bytes act = {'A', 'C', 5, 2, 1, 0};
    act.resize(16, 0);
    Put32(&act, kFrames);
    struct Layer {
        int32_t x, y, image, mirror;
        uint32_t tint;
        float scale;
        int32_t rotation, type;
    };
    for (uint32_t f = 0; f < kFrames; ++f) {
        const Layer layers[] = {
            {-10, 0, int32_t(f), 0, 0xFFFFFFFF, 1.5f, 0, 0},
            {0, 0, int32_t(f), 0, 0xFFFFFFFF, 1, 0, 0},
            {40, 5, int32_t(f), 1, 0xFFFFFFFF, 1, 0, 0},
            {20, -30, int32_t(f % 2), 0, 0xC0FF80FF, 1, 30 + int32_t(f) * 5, 1},
        };
        act.insert(act.end(), 32, 0);
        Put32(&act, 4);
        for (const Layer& l : layers) {
            Put32(&act, uint32_t(l.x)), Put32(&act, uint32_t(l.y)), Put32(&act, uint32_t(l.image));
            Put32(&act, uint32_t(l.mirror)), Put32(&act, l.tint);
            Put32(&act, FloatBits(l.scale)), Put32(&act, FloatBits(l.scale));
            Put32(&act, uint32_t(l.rotation)), Put32(&act, uint32_t(l.type));
            Put32(&act, 0), Put32(&act, 0);
        }
        Put32(&act, 0xFFFFFFFF);
        Put32(&act, 0);
    }
    Put32(&act, 0);                // no events
    Put32(&act, FloatBits(4.0f));  // 100 ms a frame
    return act;
}

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

void BenchAnimation() {
    Bytes spriteBytes = SceneSprite(), actBytes = SceneAnimation();
    SprSheet sheet;
    ActFile act;
    if (!OpenSprSheet(spriteBytes.data(), uint32_t(spriteBytes.size()), &sheet) ||
        !ParseAct(actBytes.data(), uint32_t(actBytes.size()), &act))
        abort();
    ActCanvas canvas;
    if (!ActActionCanvas(&act, &sheet, 0, &canvas)) abort();
    printf("canvas %d x %d, %u frames of 4 layers\n", canvas.width, canvas.height, kFrames);

    const int reps = 20;
    double compose = BestSeconds(
        [&] {
            for (int r = 0; r < reps; ++r)
                for (uint32_t f = 0; f < kFrames; ++f) {
                    RgbaPicture picture;
                    if (!ComposeActFrame(&act, &sheet, nullptr, 0, f, &canvas, &picture)) abort();
                    Keep(picture.pixels);
                    FreeRgbaPicture(&picture);
                }
        },
        5);
    // The bare work: the canvas written once and each layer's pixels on it
    // (the scaled one 2.25 times its image) read once, as plain copies.
    size_t layerBytes = size_t((2.25 + 1 + 1) * kWidth * kHeight * 4) + size_t(kSide) * kSide * 4;
    size_t bytes = (size_t(canvas.width) * canvas.height * 4 + layerBytes) * kFrames;
    // Every pixel is taken back through its layer's transform and blended:
    // the copy is the floor, not the aim.
    PrintBeside("compose 8 frames of an action (x20)", compose, "copying the frames' bytes",
                CopySeconds(bytes, reps), 0);
    PrintBeside("  one frame", compose / (reps * kFrames), "the 25 ms timer tick", 0.025, 0.5);

    const int exports = 5;
    double gif = BestSeconds(
        [&] {
            for (int r = 0; r < exports; ++r) {
                uint8_t* out;
                size_t size;
                if (!ExportActionGif(&act, &sheet, nullptr, 0, &out, &size)) abort();
                Keep(out);
                free(out);
            }
        },
        3);
    PrintBeside("export the action as GIF (x5)", gif, "composing its frames",
                compose * exports / reps, 0);
    FreeAct(&act);
    CloseSprSheet(&sheet);
}

// Runs as a run-length writer makes them: repeat packets where pixels
// repeat, raw packets between.
Bytes EncodeRuns(const Bytes& pixels, size_t pixelBytes) {
    Bytes out;
    size_t count = pixels.size() / pixelBytes;
    auto same = [&](size_t a, size_t b) {
        return memcmp(&pixels[a * pixelBytes], &pixels[b * pixelBytes], pixelBytes) == 0;
    };
    for (size_t i = 0; i < count;) {
        size_t run = 1;
        while (i + run < count && run < 128 && same(i, i + run)) ++run;
        if (run < 2) {
            while (i + run < count && run < 128 && !same(i + run - 1, i + run)) ++run;
            out.push_back(uint8_t(run - 1));
            out.insert(out.end(), &pixels[i * pixelBytes], &pixels[(i + run) * pixelBytes]);
        } else {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.insert(out.end(), &pixels[i * pixelBytes], &pixels[(i + 1) * pixelBytes]);
        }
        i += run;
    }
    return out;
}

void BenchRunLengthTarga() {
    const uint32_t side = 1024;
    // Bands of flat colour with noisy edges: what run-length files hold.
    Bytes noise = RandomBytes(side * side, 5), pixels;
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t v = uint8_t(x / 64 * 16 + (noise[y * side + x] % 8 == 0 ? 3 : 0));
            pixels.insert(pixels.end(), {v, uint8_t(y / 4), uint8_t(255 - v), 255});
        }
    Bytes plain = MakeTga(32, int16_t(side), int16_t(side), pixels);
    Bytes runs = MakeTga(32, int16_t(side), int16_t(side), EncodeRuns(pixels, 4), 0, 0, 10);
    const int reps = 10;
    auto time = [&](const Bytes& tga) {
        return BestSeconds(
            [&] {
                for (int r = 0; r < reps; ++r) {
                    PreviewPicture picture;
                    if (!DecodeTgaPixels(tga.data(), uint32_t(tga.size()), &picture)) abort();
                    Keep(picture.pixels);
                    FreePreviewPicture(&picture);
                }
            },
            5);
    };
    printf("run-length targa of %zu bytes, plain %zu\n", runs.size(), plain.size());
    PrintBeside("run-length targa 1024 x 1024, 32-bit (x10)", time(runs), "the plain targa",
                time(plain), 3);
}

}  // namespace

int main() {
    BenchAnimation();
    BenchRunLengthTarga();
    return BenchExitCode();
}
