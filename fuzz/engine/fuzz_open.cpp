// fuzz_open -- GrfOpen on fuzzed archive bytes written to a file, then a walk
// over the table it built and a lookup of every name.
#include <grf.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

std::wstring ScratchPath() {
    static std::wstring path = Widen("/tmp/fuzz_open-" + std::to_string(getpid()) + ".grf");
    return path;
}

int32_t Progress(GrfEntry* entry, uint32_t index, uint32_t total) {
    if (entry != nullptr || index > total) __builtin_trap();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring path = ScratchPath();
    if (!WriteFileBytes(path, Bytes(data, data + size))) return 0;
    GrfArchive* archive = GrfOpen(path.c_str(), Progress);
    // The table is in memory now; the suites replay inputs: leave nothing behind.
    std::error_code ignored;
    std::filesystem::remove(Narrow(path), ignored);
    if (archive == GRF_NO_ARCHIVE) return 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (memchr(entry.name, 0, GRF_NAME_SIZE) == nullptr || entry.owner != archive)
            __builtin_trap();
        GrfEntry* found = GrfFindEntry(archive, entry.name);
        // The first record of that name comes first or is this one.
        if (found == nullptr || found > &entry) __builtin_trap();
    }
    GrfClose(&archive);
    return 0;
}
