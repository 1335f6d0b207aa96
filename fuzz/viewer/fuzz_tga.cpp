// fuzz_tga -- the targa decoder on fuzzed files: no read outside the entry,
// and every picture is in the common form with zero row padding.
#include <preview.h>
#include <stdint.h>

#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PreviewPicture picture;
    if (DecodeTgaPixels(data, uint32_t(size), &picture)) CheckPicture(picture);
    FreePreviewPicture(&picture);
    return 0;
}
