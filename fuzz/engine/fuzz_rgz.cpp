// fuzz_rgz -- fuzzed bytes opened as an RGZ (a gzip stream of records,
// whatever they say), every entry read, the table written as an RGZ again
// and opened, and its files applied into a scratch folder. Nothing may read
// or write outside its buffers; content read is its record's size; what the
// writer makes always opens.
#include <grf.h>
#include <platform.h>
#include <stdint.h>
#include <unistd.h>
#include <zlib.h>

#include <string>

#include "test_support.h"

namespace {

constexpr uint32_t kMaxReads = 4096;

std::string Scratch(const char* what) {
    return "/tmp/fuzz_rgz-" + std::to_string(getpid()) + "-" + what;
}

void ReadEvery(GrfArchive* archive) {
    for (uint32_t i = 0; i < archive->count && i < kMaxReads; ++i) {
        uint32_t size = 0;
        void* content = GrfReadRecord(archive, i, &size);
        if (content && size != archive->entries[i].realSize) __builtin_trap();
        PlatformFree(content);
    }
}

// Inputs that are no gzip stream are made one, so the fuzzer reaches the
// records; those that are stay as they are, damage and all.
Bytes AsGzip(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 0x1F && data[1] == 0x8B) return Bytes(data, data + size);
    z_stream z = {};
    deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, size) + 64);
    z.next_in = const_cast<uint8_t*>(data);
    z.avail_in = uInt(size);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    // erase rather than resize: GCC 12 takes the shrink for a huge fill.
    out.erase(out.end() - static_cast<std::ptrdiff_t>(z.avail_out), out.end());
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring path = Widen(Scratch("in.rgz"));
    std::wstring again = Widen(Scratch("again.rgz"));
    if (!WriteFileBytes(path, AsGzip(data, size))) return 0;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive != GRF_NO_ARCHIVE && archive->count <= kMaxReads) {
        ReadEvery(archive);
        PlatformDeleteFile(again.c_str());
        if (GrfWriteRgz(archive, again.c_str(), nullptr) == 0) {
            GrfArchive* reopened = GrfOpen(again.c_str(), nullptr);
            if (reopened == GRF_NO_ARCHIVE || reopened->count != archive->count) __builtin_trap();
            ReadEvery(reopened);
            GrfClose(&reopened);
        }
        PlatformDeleteFile(again.c_str());
        TempDir into;
        uint32_t applied = 0;
        GrfApplyFiles(archive, into.path.c_str(), nullptr, &applied);
        if (applied > archive->count) __builtin_trap();
    }
    GrfClose(&archive);
    PlatformDeleteFile(path.c_str());
    return 0;
}
