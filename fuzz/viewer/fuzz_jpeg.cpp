// fuzz_jpeg -- the JPEG decoder on fuzzed streams: corrupt data comes back
// as no picture through the error exit, never a read outside the entry.
#include <preview.h>
#include <stdint.h>

#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PreviewPicture picture;
    if (DecodeJpegPixels(data, uint32_t(size), &picture)) CheckPicture(picture);
    FreePreviewPicture(&picture);
    return 0;
}
