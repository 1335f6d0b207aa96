// fuzz_extract -- fuzzed archive bytes opened from a file and every record
// extracted, in one run, into a fresh folder three levels down. Whatever the
// names say, nothing may appear beside that folder, every code must be one
// extraction can give, and a file written must hold what GrfReadRecord
// reads: the content inflated in pieces is the content read whole.
#include <grf.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Tables of millions of records are possible from a small input; a cap
// keeps one input within the time limit.
constexpr uint32_t kMaxExtractions = 512;

struct Scratch {
    Scratch() {
        root = fs::temp_directory_path() / ("fuzz_extract-" + std::to_string(getpid()));
        inner = root / "a" / "b" / "inner";
        archive = root / "archive.grf";
    }
    fs::path root, inner, archive;
};

const Scratch& Paths() {
    static Scratch scratch;
    return scratch;
}

bool Expected(uint32_t code) {
    switch (code) {
        case GRF_OK:
        case GRF_ERROR_NOT_FOUND:
        case GRF_ERROR_SEEK:
        case GRF_ERROR_MEMORY:
        case GRF_ERROR_READ:
        case GRF_ERROR_INFLATE:
        case GRF_ERROR_UNSAFE_NAME:
        case GRF_ERROR_OUTPUT:
        case GRF_ERROR_DUPLICATE:
        case GRF_ERROR_METHOD:
        case GRF_ERROR_OPEN_ARCHIVE:
        case GRF_ERROR_PASSWORD:
        case GRF_ERROR_NEEDS_PASSWORD:
            return true;
        default:
            return false;
    }
}

// The file an extraction wrote holds the record's content.
void CheckFile(GrfArchive* archive, uint32_t index) {
    uint32_t size = 0;
    uint8_t* content = GrfReadRecord(archive, index, &size);
    if (!content) __builtin_trap();  // extracted, so readable
    wchar_t* name = GrfFileName(archive->entries[index].name);
    Bytes written;
    if (!name || !ReadFileBytes(LocalPath(name), &written)) __builtin_trap();
    if (written != Bytes(content, content + size)) __builtin_trap();
    GrfFreeBuffer(name);
    GrfFreeBuffer(content);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Scratch& paths = Paths();
    std::error_code error;
    fs::remove_all(paths.root, error);
    if (!fs::create_directories(paths.inner, error)) return 0;
    std::u8string archivePath = paths.archive.u8string();
    if (!WriteFileBytes(Widen(std::string(archivePath.begin(), archivePath.end())),
                        Bytes(data, data + size)))
        return 0;
    GrfArchive* archive =
        GrfOpen(Widen(std::string(archivePath.begin(), archivePath.end())).c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) return 0;
    GrfExtractRun* run = GrfBeginExtractRun();
    fs::path previous = fs::current_path();
    fs::current_path(paths.inner);
    for (uint32_t i = 0; run && i < archive->count && i < kMaxExtractions; ++i) {
        uint32_t code = GrfExtractInRun(run, archive, i);
        if (!Expected(code)) __builtin_trap();
        if (code == GRF_OK) CheckFile(archive, i);
    }
    fs::current_path(previous);
    GrfEndExtractRun(run);
    GrfClose(&archive);
    // Only the archive and the folders down to the target may be there.
    for (const std::string& entry : ListTree(Widen(paths.root.string()))) {
        bool inside = entry.rfind("a/b/inner/", 0) == 0;
        if (!inside && entry != "a/" && entry != "a/b/" && entry != "a/b/inner/" &&
            entry.rfind("archive.grf ", 0) != 0)
            __builtin_trap();
    }
    fs::remove_all(paths.root, error);
    return 0;
}
