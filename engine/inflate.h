// inflate.h -- whole-buffer inflation of zlib streams: libdeflate's speed
// with zlib's answers.
#ifndef CASKWRIGHT_INFLATE_H
#define CASKWRIGHT_INFLATE_H

#include <stddef.h>
#include <stdint.h>

// Inflates the zlib stream in source into output (capacity bytes) and
// returns what zlib's uncompress would: Z_OK with *produced bytes written,
// or its error code with output as uncompress leaves it (what inflated
// before the fault). libdeflate does the work whenever it accepts the
// stream; a stream it refuses (damaged, truncated, longer than capacity) is
// handed to zlib, so every outcome stays zlib's.
// kept, when given, holds a decompressor the caller keeps between calls
// (made here on first use; InflateRelease frees it), so a reader of many
// entries allocates none per entry.
struct libdeflate_decompressor;
int InflateWhole(uint8_t* output, size_t capacity, const uint8_t* source, size_t sourceSize,
                 size_t* produced, libdeflate_decompressor** kept = nullptr);
void InflateRelease(libdeflate_decompressor** kept);

#endif
