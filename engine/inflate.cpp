// inflate.cpp -- InflateWhole: libdeflate first, zlib as the judge of every
// stream libdeflate refuses.
#include "inflate.h"

#include <libdeflate.h>
#include <string.h>
#include <zlib.h>

namespace {

// uLongf is 32 bits on Windows: larger buffers are offered as 4 GB - 1,
// which no entry's content reaches.
uLongf ZlibSize(size_t size) {
    return size > 0xFFFFFFFFu ? uLongf{0xFFFFFFFFu} : static_cast<uLongf>(size);
}

}  // namespace

int InflateWhole(uint8_t* output, size_t capacity, const uint8_t* source, size_t sourceSize,
                 size_t* produced, libdeflate_decompressor** kept) {
    *produced = 0;
    // One decompressor per call unless the caller keeps one: a small
    // allocation beside any inflation, and safe on every worker thread.
    libdeflate_decompressor* d = kept && *kept ? *kept : libdeflate_alloc_decompressor();
    if (kept) *kept = d;
    if (d) {
        size_t out = 0;
        libdeflate_result result =
            libdeflate_zlib_decompress(d, source, sourceSize, output, capacity, &out);
        if (!kept) libdeflate_free_decompressor(d);
        if (result == LIBDEFLATE_SUCCESS) {
            // libdeflate may use the room past the content as scratch;
            // callers count on zeros there.
            memset(output + out, 0, capacity - out);
            *produced = out;
            return Z_OK;
        }
        // libdeflate may have written anywhere in output; zlib's partial
        // result is what callers see, behind zeros as before.
        memset(output, 0, capacity);
    }
    uLongf out = ZlibSize(capacity);
    int result = uncompress(output, &out, source, ZlibSize(sourceSize));
    *produced = out;
    return result;
}

void InflateRelease(libdeflate_decompressor** kept) {
    if (*kept) libdeflate_free_decompressor(*kept);
    *kept = nullptr;
}
