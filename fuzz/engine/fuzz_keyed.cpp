// fuzz_keyed -- fuzzed archive bytes read with a key: every record read
// whole, in a batch and counted as keyed or not, then the table repacked
// keyed with the same key and with another, and the outputs read back with
// theirs. Keystreams run over untrusted sizes: nothing may read or write
// outside its buffers, and content read is always its record's real size.
#include <grf.h>
#include <platform.h>
#include <stdint.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

constexpr uint32_t kMaxReads = 4096;
const uint8_t kPassword[] = {'a', 'b', 'c', 'd'};
const uint8_t kOther[] = {'e', 'f', 'g', 'h', 'i'};

std::wstring Scratch(const char* what) {
    return Widen("/tmp/fuzz_keyed-" + std::to_string(getpid()) + "-" + what + ".grf");
}

int CheckRecord(uint32_t index, const uint8_t* content, uint32_t size, uint32_t code, void* user) {
    auto* archive = static_cast<GrfArchive*>(user);
    if (code == GRF_OK && (!content || size != archive->entries[index].realSize)) __builtin_trap();
    return 0;
}

void ReadEvery(GrfArchive* archive) {
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < archive->count && i < kMaxReads; ++i) {
        uint32_t size = 0;
        void* content = GrfReadRecord(archive, i, &size);
        if (content && size != archive->entries[i].realSize) __builtin_trap();
        PlatformFree(content);
        if (GrfIsKeyed(archive, i) > 1) __builtin_trap();
        indices.push_back(i);
    }
    GrfReadRecords(archive, indices.data(), uint32_t(indices.size()), CheckRecord, archive);
    if (GrfCountKeyed(archive, nullptr) > archive->count) __builtin_trap();
}

void RepackKeyed(GrfArchive* archive, const uint8_t* password, size_t length) {
    uint8_t key[GRF_KEY_SIZE];
    if (!GrfKeyFromPassword(password, length, key)) __builtin_trap();
    GrfSetWriteKey(archive, key);
    std::wstring out = Scratch("out");
    PlatformDeleteFile(out.c_str());
    GrfSetVersion(0x200);
    if (GrfRepack(archive, out.c_str(), nullptr) == 0) {
        GrfArchive* again = GrfOpen(out.c_str(), nullptr);
        if (again == GRF_NO_ARCHIVE) __builtin_trap();
        GrfSetKey(again, key);
        ReadEvery(again);
        GrfClose(&again);
    }
    GrfSetWriteKey(archive, nullptr);
    PlatformDeleteFile(out.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring path = Scratch("in");
    if (!WriteFileBytes(path, Bytes(data, data + size))) return 0;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive != GRF_NO_ARCHIVE) {
        ReadEvery(archive);  // no key: keyed records need one
        GrfSetPassword(archive, kPassword, sizeof kPassword);
        ReadEvery(archive);
        if (archive->count <= kMaxReads) {
            RepackKeyed(archive, kPassword, sizeof kPassword);
            RepackKeyed(archive, kOther, sizeof kOther);
        }
        GrfClose(&archive);
    }
    PlatformDeleteFile(path.c_str());
    return 0;
}
