// fuzz_sprite_sheet -- the sprite index on fuzzed files: images of both
// kinds decoded (the first 64 of each, up to 2^18 pixels), the true-colour
// frames through the frame stepper, and a fixed two-layer animation
// composed over it. No read outside the entry; pictures of the image's own
// size.
#include <act.h>
#include <preview.h>
#include <sprite.h>
#include <stdint.h>

#include "fuzz_picture.h"

namespace {

const uint32_t kMaxFuzzedPixels = 1u << 18;

// One action of one frame: palette image 1 mirrored and turned, true-colour
// image 0 scaled and tinted (version 2.5, 44-byte layers).
// clang-format off
const uint8_t kAnimation[] = {
    // "AC", version 2.5, one action of one frame
    'A', 'C', 5, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    1, 0, 0, 0,
    // the frame's unused rectangles, then two layers
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    2, 0, 0, 0,
    // x 3, y -2, image 1, mirrored; white tint, scales 1 and 1
    3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 1, 0, 0, 0,
    0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F,
    // turned 30 degrees, palette image, width and height
    30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // x 0, y 0, image 0, not mirrored; a tint, scales 2 and 1.5
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x80, 0x40, 0xFF, 0x90, 0, 0, 0, 0x40, 0, 0, 0xC0, 0x3F,
    // not turned, true-colour image, width and height
    0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // no event, no anchors
    0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
};
// clang-format on

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SprSheet sheet;
    if (!OpenSprSheet(data, uint32_t(size), &sheet)) return 0;
    // Huge images are right but slow to zero: the fuzzer's time goes to the
    // records instead.
    auto small = [&](uint32_t i) {
        return uint32_t(sheet.images[i].width) * sheet.images[i].height <= kMaxFuzzedPixels;
    };
    const uint32_t kinds[2][2] = {{0, sheet.indexedCount},
                                  {sheet.indexedCount, sheet.indexedCount + sheet.rgbaCount}};
    for (const auto& range : kinds) {
        for (uint32_t i = range[0]; i < range[1] && i < range[0] + 64; ++i) {
            if (!small(i)) continue;
            RgbaPicture picture;
            if (DecodeSprImage(&sheet, i, nullptr, &picture) &&
                (picture.width != sheet.images[i].width ||
                 picture.height != sheet.images[i].height))
                __builtin_trap();
            FreeRgbaPicture(&picture);
        }
    }
    // Frame 0 is no frame: the call only counts them.
    uint32_t count = 0;
    PreviewPicture frame;
    if (DecodeSprPixels(data, uint32_t(size), 0, &frame, &count)) __builtin_trap();
    if (count != sheet.indexedCount + sheet.rgbaCount) __builtin_trap();
    for (uint32_t f = sheet.indexedCount + 1; f <= count && f <= sheet.indexedCount + 8; ++f) {
        if (!small(f - 1)) continue;
        if (DecodeSprPixels(data, uint32_t(size), f, &frame, nullptr)) CheckPicture(frame);
        FreePreviewPicture(&frame);
    }
    ActFile act;
    if (!ParseAct(kAnimation, sizeof kAnimation, &act)) __builtin_trap();
    ActCanvas canvas;
    RgbaPicture picture;
    if (ActActionCanvas(&act, &sheet, 0, &canvas) &&
        uint64_t(canvas.width) * uint64_t(canvas.height) <= kMaxFuzzedPixels &&
        ComposeActFrame(&act, &sheet, sheet.palette, 0, 0, &canvas, &picture))
        FreeRgbaPicture(&picture);
    FreeAct(&act);
    CloseSprSheet(&sheet);
    return 0;
}
