// fuzz_thor -- fuzzed patch files (THOR) opened from a file, every record
// read by index and by name, then the patch merged into a table that is
// written and opened again, applied in place to an archive on disk, and
// applied as loose files into a folder. The
// header, the table and every size and offset in them are untrusted:
// nothing may read or write outside its buffers or outside the folder, and
// what opens must hold only sound records.
#include <grf.h>
#include <platform.h>
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

constexpr uint32_t kMaxReads = 4096;

std::wstring Scratch(const char* what) {
    return Widen("/tmp/fuzz_thor-" + std::to_string(getpid()) + "-" + what);
}

void CheckRecord(GrfArchive* archive, uint32_t index) {
    const GrfEntry& entry = archive->entries[index];
    if (entry.owner != archive || !memchr(entry.name, 0, GRF_NAME_SIZE) || !entry.name[0])
        __builtin_trap();
    // One record per name.
    if (GrfFindEntry(archive, entry.name) != &entry) __builtin_trap();
    uint32_t size = 0;
    uint8_t* content = GrfReadRecord(archive, index, &size);
    bool removal = (entry.state & GRF_ENTRY_REMOVAL) != 0;
    if (content && (removal || size != entry.realSize)) __builtin_trap();
    if (removal && GrfLastError != GRF_ERROR_NOT_FOUND) __builtin_trap();
    PlatformFree(content);
}

// Merged into an empty table, written as an archive and opened again: every
// file record is there.
void MergeAndWrite(GrfArchive* patch) {
    std::wstring out = Scratch("merged.grf");
    PlatformDeleteFile(out.c_str());
    GrfArchive* table = GrfCreate(out.c_str());
    if (GrfMarkPatch(table, patch) != GRF_OK) __builtin_trap();
    GrfSetVersion(0x200);
    if (GrfRepack(table, out.c_str(), nullptr) == 0) {
        GrfArchive* again = GrfOpen(out.c_str(), nullptr);
        if (again == GRF_NO_ARCHIVE) __builtin_trap();
        GrfClose(&again);
    }
    GrfClose(&table);
    PlatformDeleteFile(out.c_str());
}

// Applied in place to an archive of version: either the file opens with
// every file record of the patch, or it is the old file to the byte.
void ApplyInPlace(GrfArchive* patch, uint32_t version) {
    std::wstring grf = Scratch("target.grf");
    PlatformDeleteFile(grf.c_str());
    GrfArchive* empty = GrfCreate(grf.c_str());
    GrfSetVersion(version);
    bool made = GrfRepack(empty, grf.c_str(), nullptr) == 0;
    GrfClose(&empty);
    Bytes before;
    GrfArchive* archive = made ? GrfOpen(grf.c_str(), nullptr) : GRF_NO_ARCHIVE;
    if (archive == GRF_NO_ARCHIVE || !ReadFileBytes(grf, &before)) __builtin_trap();
    bool applied = GrfApplyPatch(archive, patch, nullptr) == 0;
    GrfClose(&archive);
    if (applied) {
        GrfArchive* again = GrfOpen(grf.c_str(), nullptr);
        if (again == GRF_NO_ARCHIVE) __builtin_trap();
        for (uint32_t i = 0; i < patch->count; ++i) {
            const GrfEntry& record = patch->entries[i];
            bool file =
                !(record.state & GRF_ENTRY_REMOVAL) && strcmp(record.name, "data.integrity");
            if (file && !GrfFindEntry(again, record.name)) __builtin_trap();
        }
        GrfClose(&again);
    } else {
        Bytes after;
        if (!ReadFileBytes(grf, &after) || after != before) __builtin_trap();
    }
    PlatformDeleteFile(grf.c_str());
}

// A patch of loose files applied beside an archive in root/client: nothing may
// appear in root but the client folder.
void ApplyLoose(GrfArchive* patch) {
    std::string root = Narrow(Scratch("root"));
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    std::filesystem::create_directories(root + "/client", ignored);
    std::wstring grf = Widen(root + "/client/data.grf");
    GrfArchive* archive = GrfCreate(grf.c_str());
    GrfApplyPatch(archive, patch, nullptr);
    GrfClose(&archive);
    for (const auto& item : std::filesystem::directory_iterator(root, ignored))
        if (item.path().filename() != "client") __builtin_trap();
    std::filesystem::remove_all(root, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring path = Scratch("in.thor");
    if (!WriteFileBytes(path, Bytes(data, data + size))) return 0;
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive != GRF_NO_ARCHIVE) {
        const GrfPatchInfo* info = GrfPatchOf(archive);
        if (info && !memchr(info->target, 0, sizeof info->target)) __builtin_trap();
        for (uint32_t i = 0; info && i < archive->count && i < kMaxReads; ++i)
            CheckRecord(archive, i);
        if (info && archive->count <= kMaxReads) {
            MergeAndWrite(archive);
            if (info->mergeMode == GRF_PATCH_LOOSE) ApplyLoose(archive);
            if (info->mergeMode == GRF_PATCH_MERGE) ApplyInPlace(archive, size % 2 ? 0x103 : 0x200);
        }
        GrfClose(&archive);
    }
    PlatformDeleteFile(path.c_str());  // the suites replay inputs: leave nothing behind
    return 0;
}
