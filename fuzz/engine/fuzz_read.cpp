// fuzz_read -- fuzzed archive bytes opened from a file, every entry read
// both as stored bytes and as content, then the table repacked in every
// directory layout and the outputs opened again. Sizes and positions in a
// directory are untrusted: nothing may read or write outside its buffers.
#include <grf.h>
#include <platform.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "test_support.h"

namespace {

// Tables of millions of records are possible from a small input; reading
// each opens the file, so a cap keeps one input within the time limit.
constexpr uint32_t kMaxReads = 4096;

std::wstring Scratch(const char* what) {
    return Widen("/tmp/fuzz_read-" + std::to_string(getpid()) + "-" + what + ".grf");
}

void ReadEvery(GrfArchive* archive) {
    for (uint32_t i = 0; i < archive->count && i < kMaxReads; ++i) {
        const GrfEntry& entry = archive->entries[i];
        uint32_t size = 0;
        void* raw = GrfReadEntryRaw(archive, entry.name, &size);
        if (raw && size != GrfFindEntry(archive, entry.name)->alignedSize) __builtin_trap();
        PlatformFree(raw);
        wchar_t* wide = GrfCp949ToWide(entry.name);
        size = 0;
        void* content = GrfReadEntry(archive, wide, &size);
        // Content is what the first record of that name says it is.
        char* narrow = GrfWideToCp949(wide);
        const GrfEntry* first = content ? GrfFindEntry(archive, narrow) : nullptr;
        if (content && (!first || size != first->realSize)) __builtin_trap();
        PlatformFree(narrow);
        PlatformFree(content);
        PlatformFree(wide);
    }
}

void RepackAndReopen(GrfArchive* archive, uint32_t version) {
    std::wstring out = Scratch(version < 0x200 ? "v1" : version < 0x300 ? "v2" : "v3");
    PlatformDeleteFile(out.c_str());
    GrfSetVersion(version);
    if (GrfRepack(archive, out.c_str(), nullptr) == 0) {
        GrfArchive* again = GrfOpen(out.c_str(), nullptr);
        if (again == GRF_NO_ARCHIVE) __builtin_trap();  // the writer's own output
        ReadEvery(again);
        GrfClose(&again);
    }
    PlatformDeleteFile(out.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring path = Scratch("in");
    if (!WriteFileBytes(path, Bytes(data, data + size))) return 0;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive != GRF_NO_ARCHIVE) {
        ReadEvery(archive);
        if (archive->count <= kMaxReads) {
            RepackAndReopen(archive, 0x103);
            RepackAndReopen(archive, 0x200);
            RepackAndReopen(archive, 0x300);
        }
        GrfClose(&archive);
    }
    PlatformDeleteFile(path.c_str());  // the suites replay inputs: leave nothing behind
    return 0;
}
