// deflate_ahead.cpp -- see deflate_ahead.h. Workers take jobs in order from
// an atomic counter, no further than a window ahead of the taker; the taker
// waits for each job in turn. No locks: each result is published by one
// release store and read after one acquire load.
#include "deflate_ahead.h"

#include <zlib.h>

#include <atomic>
#include <new>

#include "grf.h"
#include "platform.h"
#include "platform_threads.h"

namespace {

// Sizes are 32-bit: a local file must leave room for deflate's worst case
// (a few bytes per 16 KB) below 4 GB.
constexpr uint64_t kMaxLocalFile = 0xF0000000u;
// How far workers run ahead: files, and bytes read but not yet taken.
constexpr uint32_t kWindowFiles = 256;
constexpr uint64_t kWindowBytes = 64ull << 20;

uint32_t ReadWhole(const wchar_t* path, uint8_t** bytes, uint32_t* size) {
    *bytes = nullptr;
    *size = 0;
    PlatformFile* file = path ? PlatformOpenRead(path) : nullptr;
    if (!file) return GRF_ERROR_NOT_FOUND;
    uint64_t length = PlatformFileSize(file);
    uint32_t got = 0;
    uint32_t code = GRF_OK;
    if (length > kMaxLocalFile)
        code = GRF_ERROR_READ;
    else if (!(*bytes = static_cast<uint8_t*>(PlatformAlloc(static_cast<size_t>(length) + 1))))
        code = GRF_ERROR_MEMORY;
    else if (!PlatformRead(file, *bytes, static_cast<uint32_t>(length), &got) || got != length)
        code = GRF_ERROR_READ;
    PlatformClose(file);
    *size = static_cast<uint32_t>(length);
    return code;
}

// The source of local files: a table of paths.
uint32_t ReadPath(void* paths, uint32_t job, uint8_t** content, uint32_t* size) {
    return ReadWhole(static_cast<const wchar_t* const*>(paths)[job], content, size);
}

uint32_t Crc32(const uint8_t* content, uint32_t size) {
    uLong crc = crc32(0, nullptr, 0);
    for (uint32_t done = 0; done < size;) {
        uInt piece = size - done > 0x40000000u ? 0x40000000u : size - done;
        crc = crc32(crc, content + done, piece);
        done += piece;
    }
    return static_cast<uint32_t>(crc);
}

}  // namespace

DeflatedFile DeflateLocalFile(const wchar_t* path, int level) {
    const wchar_t* paths[] = {path};
    return DeflateFromSource(ReadPath, paths, 0, level, false);
}

DeflatedFile DeflateFromSource(DeflateSource source, void* context, uint32_t job, int level,
                               bool crc) {
    DeflatedFile result = {GRF_OK, nullptr, 0, 0, 0};
    uint8_t* content = nullptr;
    result.code = source(context, job, &content, &result.realSize);
    if (result.code == GRF_OK && crc) result.crc = Crc32(content, result.realSize);
    uLong bound = compressBound(result.realSize);
    if (result.code == GRF_OK &&
        !(result.data = static_cast<uint8_t*>(PlatformAlloc(size_t{bound} + 8))))
        result.code = GRF_ERROR_MEMORY;
    uLongf compressed = bound;
    if (result.code == GRF_OK &&
        compress2(result.data, &compressed, content, result.realSize, level) != Z_OK)
        result.code = GRF_ERROR_MEMORY;
    result.compressedSize = static_cast<uint32_t>(compressed);
    PlatformFree(content);
    if (result.code != GRF_OK) DeflatedFileFree(&result);
    return result;
}

void DeflatedFileFree(DeflatedFile* file) {
    PlatformFree(file->data);
    file->data = nullptr;
}

struct DeflateAhead {
    DeflateSource source;
    void* context;
    uint32_t count;
    int level;
    bool crc;
    DeflatedFile* results;
    uint8_t* ready;                    // per job, set once its result is there
    std::atomic<uint32_t> next{0};     // the next job a worker takes
    std::atomic<uint32_t> taken{0};    // jobs handed to the taker
    std::atomic<uint64_t> waiting{0};  // bytes of results not yet taken
    std::atomic<bool> stop{false};
    PlatformThread** threads;
    uint32_t started;
};

namespace {

bool Ready(DeflateAhead* a, uint32_t i) {
    return std::atomic_ref<uint8_t>(a->ready[i]).load(std::memory_order_acquire) != 0;
}

// Whether job i may start: the taker's next job always may; others while
// the window has room.
bool MayStart(DeflateAhead* a, uint32_t i) {
    uint32_t taken = a->taken.load(std::memory_order_acquire);
    return i == taken ||
           (i < taken + kWindowFiles && a->waiting.load(std::memory_order_relaxed) < kWindowBytes);
}

void RunWorker(void* self) {
    auto* a = static_cast<DeflateAhead*>(self);
    for (;;) {
        uint32_t i = a->next.fetch_add(1, std::memory_order_relaxed);
        if (i >= a->count) return;
        while (!MayStart(a, i)) {
            if (a->stop.load(std::memory_order_relaxed)) return;
            PlatformPause();
        }
        if (a->stop.load(std::memory_order_relaxed)) return;
        a->results[i] = DeflateFromSource(a->source, a->context, i, a->level, a->crc);
        a->waiting.fetch_add(a->results[i].realSize, std::memory_order_relaxed);
        std::atomic_ref<uint8_t>(a->ready[i]).store(1, std::memory_order_release);
    }
}

}  // namespace

DeflateAhead* DeflateAheadStart(const wchar_t* const* paths, uint32_t count, int level,
                                uint32_t threads) {
    return DeflateAheadStartFrom(ReadPath, const_cast<const wchar_t**>(paths), count, level, false,
                                 threads);
}

DeflateAhead* DeflateAheadStartFrom(DeflateSource source, void* context, uint32_t count, int level,
                                    bool crc, uint32_t threads) {
    if (threads < 2 || count < 2) return nullptr;
    void* block = PlatformAlloc(sizeof(DeflateAhead));
    if (!block) return nullptr;
    auto* a = new (block) DeflateAhead;
    a->source = source;
    a->context = context;
    a->count = count;
    a->level = level;
    a->crc = crc;
    a->results = static_cast<DeflatedFile*>(PlatformAlloc(size_t{count} * sizeof(DeflatedFile)));
    a->ready = static_cast<uint8_t*>(PlatformAlloc(count));
    a->threads = static_cast<PlatformThread**>(PlatformAlloc(threads * sizeof(PlatformThread*)));
    if (a->results && a->ready && a->threads)
        for (; a->started < threads; ++a->started)
            if (!(a->threads[a->started] = PlatformStartThread(RunWorker, a))) break;
    if (a->started == 0) {
        DeflateAheadEnd(a);
        return nullptr;
    }
    return a;
}

DeflatedFile DeflateAheadTake(DeflateAhead* a, uint32_t index) {
    while (!Ready(a, index)) PlatformPause();
    DeflatedFile result = a->results[index];
    a->results[index].data = nullptr;
    a->waiting.fetch_sub(result.realSize, std::memory_order_relaxed);
    a->taken.store(index + 1, std::memory_order_release);
    return result;
}

void DeflateAheadEnd(DeflateAhead* a) {
    if (!a) return;
    a->stop.store(true);
    for (uint32_t i = 0; i < a->started; ++i) PlatformJoinThread(a->threads[i]);
    for (uint32_t i = 0; a->results && i < a->count; ++i) DeflatedFileFree(&a->results[i]);
    PlatformFree(a->results);
    PlatformFree(a->ready);
    PlatformFree(a->threads);
    a->~DeflateAhead();
    PlatformFree(a);
}
