// save.cpp -- writing the table's changes into the archive's own file: the
// new records' bytes and a new directory after everything the file holds,
// then the header switched over to them (commit.h), and the table made to
// describe the file as it now is. Also the count of bytes nothing uses.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "archive_internal.h"
#include "commit.h"
#include "grf_format.h"
#include "le_bytes.h"
#include "platform.h"
#include "writer_internal.h"

namespace {

using namespace grf;

bool IsArchive(const GrfArchive* archive) {
    return archive && archive != GRF_NO_ARCHIVE;
}

bool IsDeleted(const GrfEntry& entry) {
    return (entry.state & GRF_ENTRY_DELETED) != 0;
}

uint32_t VersionOf(const GrfArchive* archive) {
    return GetLe32(archive->header + kHeaderVersion);
}

// A table that differs from the file: a record added, merged, replaced or
// marked deleted.
bool HasChanges(const GrfArchive* archive) {
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (entry.owner != archive || entry.state != GRF_ENTRY_IN_ARCHIVE) return true;
    }
    return false;
}

// 0x1xx directories run to the end of the file: a reader walks records
// until one does not fit. Four zero bytes after the old directory end that
// walk there, so the old header still reads the old directory whole while
// new bytes follow it.
constexpr uint32_t kV1Stop = 4;

// Whether the bytes from directoryEnd to the end of a 0x1xx file (some
// there) end the directory whatever follows them: a record length too small
// for a record, as the stop bytes write. Anything else (too few bytes for a
// length, or a record cut short) would read as a record once more bytes
// follow it. Leaves file positioned at end.
bool EndsDirectory(PlatformFile* file, uint64_t directoryEnd, uint64_t end) {
    uint8_t length[4];
    uint32_t got = 0;
    bool ends = end - directoryEnd >= sizeof length && PlatformSeek(file, directoryEnd) &&
                PlatformRead(file, length, sizeof length, &got) && got == sizeof length &&
                GetLe32(length) < kV1NameStart;
    return PlatformSeek(file, end) && ends;
}

// The table as it will be once the save has switched the file over, made
// before the switch so that nothing after it can fail.
struct NewTable {
    GrfEntry* entries = nullptr;
    uint32_t count = 0;
    GrfNameIndex* index = nullptr;
};

uint32_t PrepareTable(const GrfArchive* archive, const Placed* placed, uint32_t version,
                      NewTable* table) {
    uint32_t live = 0;
    for (uint32_t i = 0; i < archive->count; ++i)
        if (!IsDeleted(archive->entries[i])) ++live;
    if (live) {
        table->entries = static_cast<GrfEntry*>(PlatformAlloc(size_t{live} * sizeof(GrfEntry)));
        if (!table->entries) return GRF_ERROR_MEMORY;
    }
    bool v1 = (version >> 8) == kMajorV1;
    uint32_t at = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (IsDeleted(entry)) continue;
        const Placed& p = placed[i];
        GrfEntry& out = table->entries[at++];
        memcpy(out.name, entry.name, sizeof out.name);
        out.owner = const_cast<GrfArchive*>(archive);
        out.compressedSize = p.compressedSize;
        out.alignedSize = p.alignedSize;
        out.realSize = p.realSize;
        out.position = p.position;
        out.type = p.type;
        out.version = version;
        out.cycle = v1 ? GrfCycleFromName(out.name, out.compressedSize)
                       : GrfCycleFromType(out.type, out.compressedSize);
        out.state = GRF_ENTRY_IN_ARCHIVE;
    }
    table->count = live;
    // The index is built over the new records through an archive of its own.
    auto* scratch = static_cast<GrfArchive*>(PlatformAlloc(sizeof(GrfArchive)));
    if (!scratch) return GRF_ERROR_MEMORY;
    scratch->entries = table->entries;
    scratch->count = live;
    bool built = NameIndexBuild(scratch);
    table->index = scratch->index;
    PlatformFree(scratch);
    return built ? GRF_OK : GRF_ERROR_MEMORY;
}

void FreeTable(NewTable* table) {
    PlatformFree(table->entries);
    if (table->index) {
        GrfArchive scratch = {};
        scratch.index = table->index;
        NameIndexFree(&scratch);
    }
    *table = NewTable();
}

// The archive's file as it is now, for change detection; all zero (which
// no file matches) when it cannot be read.
GrfFileStamp StampNow(const GrfArchive* archive) {
    GrfFileStamp stamp = {};
    PlatformFile* file = PlatformOpenRead(archive->path);
    if (file && !PlatformStampOf(file, &stamp)) stamp = GrfFileStamp();
    PlatformClose(file);
    return stamp;
}

// The table takes the new records; local-file records are archive records
// now, so no path is kept for them, and no record names another archive.
void InstallTable(GrfArchive* archive, NewTable* table, const uint8_t* fields,
                  uint64_t directoryEnd) {
    PlatformFree(archive->entries);
    NameIndexFree(archive);
    LocalFilesFree(archive);
    archive->entries = table->entries;
    archive->capacity = table->count;
    archive->count = table->count;
    archive->entriesSize = table->count * static_cast<uint32_t>(sizeof(GrfEntry));
    archive->index = table->index;
    memcpy(archive->header + kHeaderDirOffset, fields, kHeaderVersion - kHeaderDirOffset);
    archive->directoryEnd = directoryEnd;
    *table = NewTable();
}

uint32_t Save(GrfArchive* archive, GrfProgressCallback progress) {
    if (!HasChanges(archive)) return GRF_OK;
    uint32_t version = VersionOf(archive);
    uint32_t major = version >> 8;
    // An archive made by GrfCreate has no file yet: GrfRepack writes one.
    if (archive->stamp.size == 0) return GRF_ERROR_NOT_FOUND;
    if (major != kMajorV1 && major != kMajorV2 && major != kMajorV3) return GRF_ERROR_VERSION;
    bool v1 = major == kMajorV1;
    uint32_t code = CheckNames(archive, version);
    if (code != GRF_OK) return code;
    // Another method's bytes would be enciphered on top by a 0x1xx archive.
    for (uint32_t i = 0; v1 && i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (!IsDeleted(entry) && !IsKeptInPlace(archive, entry) && entry.cycle == GRF_CYCLE_FOREIGN)
            return GRF_ERROR_METHOD;
    }

    Commit commit;
    code = CommitBegin(archive, &commit);
    if (code != GRF_OK) return code;
    bool stop = v1 && archive->directoryEnd == commit.oldSize;
    if (v1 && !stop && !EndsDirectory(commit.file, archive->directoryEnd, commit.oldSize))
        code = GRF_ERROR_NOT_IN_PLACE;
    uint64_t start = commit.oldSize + (stop ? kV1Stop : 0);
    if (code == GRF_OK && start + TableBytes(archive, version, true) > PositionLimit(version))
        code = GRF_ERROR_WRITE;
    if (code != GRF_OK) {
        CommitEnd(&commit);
        return code;
    }

    TableWrite write;
    write.archive = archive;
    write.version = version;
    write.keepOwn = true;
    write.file = commit.file;
    write.start = start;
    NewTable table;
    uint8_t fields[kHeaderVersion - kHeaderDirOffset];
    static const uint8_t kStopBytes[kV1Stop] = {};
    if (stop && !PlatformWrite(commit.file, kStopBytes, kV1Stop)) code = GRF_ERROR_WRITE;
    if (code == GRF_OK) code = WriteTable(&write, progress);
    if (code == GRF_OK) code = PrepareTable(archive, write.placed, version, &table);
    if (code == GRF_OK) CommitMark(&commit);
    // The last moment to stop: nothing refers to the new bytes yet.
    if (code == GRF_OK && progress && progress(nullptr, write.records, write.records) != 0)
        code = GRF_ERROR_CANCELLED;
    if (code == GRF_OK && major == kMajorV3) {
        // 0x300: the 64-bit directory offset over the seed, the plain count.
        PutLe64(fields, write.directoryStart - kOffsetBase);
        PutLe32(fields + (kHeaderCount - kHeaderDirOffset), write.records);
        code = CommitSwitch(&commit, kHeaderDirOffset, fields, sizeof fields);
    } else if (code == GRF_OK) {
        uint32_t seed = GetLe32(archive->header + kHeaderSeed);
        PutLe32(fields, static_cast<uint32_t>(write.directoryStart - kOffsetBase));
        PutLe32(fields + (kHeaderSeed - kHeaderDirOffset), seed);
        PutLe32(fields + (kHeaderCount - kHeaderDirOffset), CountField(write.records, seed));
        code = CommitSwitch(&commit, kHeaderDirOffset, fields, sizeof fields);
    }
    PlatformFree(write.placed);
    // The file's new stamp is read before the hold goes, so that no other
    // program's change can pass for this one.
    if (code != GRF_OK) {
        // The file goes back to what it was; the table never changed. Only
        // a file known to be whole again is taken as the archive's.
        bool undone = CommitUndo(&commit, archive);
        CommitClose(&commit, archive->path);
        if (undone) archive->stamp = StampNow(archive);
        CommitEnd(&commit);
        FreeTable(&table);
        return code;
    }
    CommitClose(&commit, archive->path);
    InstallTable(archive, &table, fields, write.end);
    archive->stamp = StampNow(archive);
    CommitEnd(&commit);
    return GRF_OK;
}

struct Range {
    uint64_t start, end;
};

// Where the directory starts: 0x300 headers hold a 64-bit offset, unless
// their upper bytes say the header keeps the 0x2xx fields (as at open).
uint64_t DirectoryStart(const GrfArchive* archive) {
    const uint8_t* h = archive->header;
    bool wide = (VersionOf(archive) >> 8) == kMajorV3 && h[35] == 0 && h[36] == 0 && h[37] == 0;
    uint64_t offset = wide ? GetLe64(h + kHeaderDirOffset) : GetLe32(h + kHeaderDirOffset);
    return offset + kOffsetBase;
}

}  // namespace

extern "C" int32_t GrfSave(GrfArchive* archive, GrfProgressCallback progress) {
    if (!IsArchive(archive)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 1;
    }
    uint32_t code = Save(archive, progress);
    if (code != GRF_OK) {
        GrfLastError = code;
        return 1;
    }
    return 0;
}

extern "C" uint64_t GrfSaveBytes(const GrfArchive* archive) {
    if (!IsArchive(archive) || archive->stamp.size == 0) return 0;
    if (!HasChanges(archive)) return archive->stamp.size;
    uint32_t version = VersionOf(archive);
    bool stop = (version >> 8) == kMajorV1 && archive->directoryEnd == archive->stamp.size;
    return archive->stamp.size + (stop ? kV1Stop : 0) + TableBytes(archive, version, true);
}

extern "C" uint64_t GrfUnusedBytes(const GrfArchive* archive) {
    if (!IsArchive(archive) || archive->stamp.size == 0) return 0;
    uint64_t size = archive->stamp.size;
    uint64_t dirStart = DirectoryStart(archive);
    uint32_t count = 0;
    for (uint32_t i = 0; i < archive->count; ++i)
        if (!IsDeleted(archive->entries[i]) && IsKeptInPlace(archive, archive->entries[i])) ++count;
    // The header, the directory and every kept record's stored bytes; records
    // may share bytes, so what they cover is merged first.
    auto* ranges = static_cast<Range*>(PlatformAlloc((size_t{count} + 2) * sizeof(Range)));
    if (!ranges) return 0;
    uint32_t n = 0;
    ranges[n++] = {0, GRF_HEADER_SIZE};
    ranges[n++] = {dirStart, archive->directoryEnd};
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (IsDeleted(entry) || !IsKeptInPlace(archive, entry)) continue;
        ranges[n++] = {entry.position, uint64_t{entry.position} + entry.alignedSize};
    }
    std::sort(ranges, ranges + n, [](const Range& a, const Range& b) { return a.start < b.start; });
    uint64_t used = 0, reached = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t start = std::max(ranges[i].start, reached);
        uint64_t end = std::min(ranges[i].end, size);
        if (end > start) {
            used += end - start;
            reached = end;
        }
    }
    PlatformFree(ranges);
    return size - used;
}
