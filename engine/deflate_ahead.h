// deflate_ahead.h -- local files read and deflated ahead of the writer on
// worker threads, handed out in order. Each file is its own zlib stream, so
// the bytes are the same whatever the number of workers.
#ifndef CASKWRIGHT_DEFLATE_AHEAD_H
#define CASKWRIGHT_DEFLATE_AHEAD_H

#include <stdint.h>
#include <wchar.h>

struct DeflateAhead;

// One file's result: GRF_OK with data holding compressed bytes and room for
// 8 more (zero-filled up to alignment by the taker), or the code of the
// failure: GRF_ERROR_NOT_FOUND (no path, or it does not open),
// GRF_ERROR_READ (unreadable or too large), GRF_ERROR_MEMORY.
struct DeflatedFile {
    uint32_t code;
    uint8_t* data;
    uint32_t compressedSize;
    uint32_t realSize;
};

// Reads and deflates the file at path whole at level into a new result
// (the data a PlatformAlloc block, released with DeflatedFileFree).
DeflatedFile DeflateLocalFile(const wchar_t* path, int level);
void DeflatedFileFree(DeflatedFile* file);

// Starts `threads` workers (2 or more) deflating paths[0..count) at level
// (a null path fails its job), keeping a bounded number of bytes and files
// waiting. The paths must stay valid until DeflateAheadEnd. Null when out
// of memory or no worker starts: the caller then deflates on its own.
DeflateAhead* DeflateAheadStart(const wchar_t* const* paths, uint32_t count, int level,
                                uint32_t threads);
// Waits for job `index`, which must be the next in order, and hands its
// result over to the caller (DeflatedFileFree).
DeflatedFile DeflateAheadTake(DeflateAhead* ahead, uint32_t index);
// Stops the workers (those busy finish their file) and frees what is left.
void DeflateAheadEnd(DeflateAhead* ahead);

#endif
