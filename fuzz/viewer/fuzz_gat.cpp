// fuzz_gat -- the altitude map renderer on fuzzed files: no read outside
// the entry, no undefined conversion of any height (not-a-number and
// infinities included).
#include <preview.h>
#include <stdint.h>

#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PreviewPicture picture;
    if (RenderGatPixels(data, uint32_t(size), &picture)) CheckPicture(picture);
    FreePreviewPicture(&picture);
    return 0;
}
