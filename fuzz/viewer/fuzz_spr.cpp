// fuzz_spr -- the sprite decoder on fuzzed files and frame numbers: the
// first, a middle, the last and one past the last frame of each entry.
#include <preview.h>
#include <stdint.h>

#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t count = 0;
    PreviewPicture picture;
    if (DecodeSprPixels(data, uint32_t(size), 1, &picture, &count)) CheckPicture(picture);
    FreePreviewPicture(&picture);
    const uint32_t frames[] = {0, count / 2, count, count + 1};
    for (uint32_t frame : frames) {
        if (DecodeSprPixels(data, uint32_t(size), frame, &picture, nullptr)) CheckPicture(picture);
        FreePreviewPicture(&picture);
    }
    return 0;
}
