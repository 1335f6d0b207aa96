// deflate_ahead.h -- files read and deflated ahead of a writer on worker
// threads, handed out in order: local files by path, or any content a
// source gives (a patch's records). Each file is its own zlib stream, so
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
    uint32_t crc;  // CRC-32 of the content, when asked for; else 0
};

// Where job's content comes from: GRF_OK with *content a new PlatformAlloc
// block of *size bytes (the deflater frees it), or the code of the failure.
// Called on worker threads, for several jobs at once.
typedef uint32_t (*DeflateSource)(void* context, uint32_t job, uint8_t** content, uint32_t* size);

// Reads and deflates the file at path whole at level into a new result
// (the data a PlatformAlloc block, released with DeflatedFileFree).
DeflatedFile DeflateLocalFile(const wchar_t* path, int level);
// The same for the content source gives for job, with its CRC-32 when crc.
DeflatedFile DeflateFromSource(DeflateSource source, void* context, uint32_t job, int level,
                               bool crc);
void DeflatedFileFree(DeflatedFile* file);

// Starts `threads` workers (2 or more) deflating paths[0..count) at level
// (a null path fails its job), keeping a bounded number of bytes and files
// waiting. The paths must stay valid until DeflateAheadEnd. Null when out
// of memory or no worker starts: the caller then deflates on its own.
DeflateAhead* DeflateAheadStart(const wchar_t* const* paths, uint32_t count, int level,
                                uint32_t threads);
// The same for jobs [0, count) whose content source gives (see
// DeflateFromSource); context must stay valid until DeflateAheadEnd.
DeflateAhead* DeflateAheadStartFrom(DeflateSource source, void* context, uint32_t count, int level,
                                    bool crc, uint32_t threads);
// Waits for job `index`, which must be the next in order, and hands its
// result over to the caller (DeflatedFileFree).
DeflatedFile DeflateAheadTake(DeflateAhead* ahead, uint32_t index);
// Stops the workers (those busy finish their file) and frees what is left.
void DeflateAheadEnd(DeflateAhead* ahead);

#endif
