// thor.cpp -- opening patch files (THOR): the header, the table of records
// or the single record, read into the archive model. Every number comes
// from the file and is checked against what is there before it is used.
#include <string.h>
#include <zlib.h>

#include "archive_internal.h"
#include "grf_format.h"
#include "le_bytes.h"
#include "platform.h"
#include "thor.h"
#include "thor_format.h"

namespace {

using namespace thor;

// The longest header: the fixed fields, a target name of 255 bytes, the
// single layout's fields and a name of 255 bytes.
constexpr uint32_t kHeaderMax = kTarget + 255 + kSingleFields + 255;

int32_t GetLeI32(const uint8_t* p) {
    return static_cast<int32_t>(GetLe32(p));
}

// One record as the file states it, before it becomes an entry.
struct ThorRecord {
    const uint8_t* name;
    uint32_t nameLength;
    bool removal;
    uint32_t offset;
    int32_t stored;
    int32_t real;
};

// The checks every record passes, whichever layout it comes from: a name
// the table can hold unchanged and stored bytes inside the file.
bool RecordFits(const ThorRecord& r, uint64_t fileSize) {
    if (r.nameLength == 0 || r.nameLength > GRF_NAME_MAX) return false;
    if (memchr(r.name, 0, r.nameLength)) return false;
    if (r.removal) return true;
    if (r.stored < 0 || r.real < 0) return false;
    return uint64_t{r.offset} + static_cast<uint32_t>(r.stored) <= fileSize;
}

void FillEntry(GrfArchive* archive, const ThorRecord& r, GrfEntry* entry) {
    memset(entry, 0, sizeof *entry);
    memcpy(entry->name, r.name, r.nameLength);
    entry->owner = archive;
    entry->cycle = -1;
    if (r.removal) {
        entry->state = GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REMOVAL;
        return;
    }
    entry->type = 1;
    entry->position = r.offset;
    entry->compressedSize = static_cast<uint32_t>(r.stored);
    entry->alignedSize = entry->compressedSize;
    entry->realSize = static_cast<uint32_t>(r.real);
    entry->state = GRF_ENTRY_IN_ARCHIVE;
}

// Reads the record at `at` of an inflated table; false when none starts
// there whole. *length gets the record's size.
bool ParseTableRecord(const uint8_t* table, uint64_t size, uint64_t at, ThorRecord* r,
                      uint64_t* length) {
    if (size - at < 2) return false;
    r->nameLength = table[at];
    if (size - at < uint64_t{r->nameLength} + 2) return false;
    r->name = table + at + 1;
    r->removal = (table[at + 1 + r->nameLength] & kFlagRemoval) != 0;
    *length = uint64_t{r->nameLength} + 2;
    if (r->removal) return true;
    if (size - at - *length < kRecordFields) return false;
    const uint8_t* fields = table + at + *length;
    r->offset = GetLe32(fields);
    r->stored = GetLeI32(fields + 4);
    r->real = GetLeI32(fields + 8);
    *length += kRecordFields;
    return true;
}

// Inflates the table's stream whole into a growing buffer. A stream of n
// bytes inflates to at most kMaxInflateRatio n, so that bounds the growth.
uint32_t InflateTable(const uint8_t* packed, uint32_t packedSize, uint8_t** table, uint64_t* size) {
    *table = nullptr;
    *size = 0;
    if (packedSize == 0) return GRF_OK;  // no table stream: no records
    uint64_t limit = uint64_t{packedSize} * grf::kMaxInflateRatio;
    size_t capacity = packedSize < (1u << 16) ? size_t{1} << 16 : size_t{packedSize} * 4;
    auto* buffer = static_cast<uint8_t*>(PlatformAlloc(capacity));
    if (!buffer) return GRF_ERROR_MEMORY;
    z_stream z = {};
    if (inflateInit(&z) != Z_OK) {
        PlatformFree(buffer);
        return GRF_ERROR_MEMORY;
    }
    z.next_in = const_cast<uint8_t*>(packed);
    z.avail_in = packedSize;
    uint32_t code = GRF_OK;
    uint64_t filled = 0;
    for (;;) {
        if (filled == capacity) {
            if (capacity >= limit) {
                code = GRF_ERROR_NOT_ARCHIVE;
                break;
            }
            size_t grown = capacity * 2;
            auto* bigger = static_cast<uint8_t*>(PlatformGrow(buffer, capacity, grown));
            if (!bigger) {
                code = GRF_ERROR_MEMORY;
                break;
            }
            buffer = bigger;
            capacity = grown;
        }
        size_t room = capacity - filled;
        z.next_out = buffer + filled;
        z.avail_out = room > 0x40000000u ? 0x40000000u : static_cast<uInt>(room);
        uInt before = z.avail_out;
        int result = inflate(&z, Z_NO_FLUSH);
        filled += before - z.avail_out;
        if (result == Z_STREAM_END) break;
        if (result == Z_MEM_ERROR) {
            code = GRF_ERROR_MEMORY;
            break;
        }
        // Anything else but progress is a stream that is broken or ends early.
        if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_out == 0)) {
            code = GRF_ERROR_NOT_ARCHIVE;
            break;
        }
    }
    inflateEnd(&z);
    if (code != GRF_OK) {
        PlatformFree(buffer);
        return code;
    }
    *table = buffer;
    *size = filled;
    return GRF_OK;
}

// Reads the table's stream from the file and parses its records into the
// archive's table.
uint32_t ReadTable(GrfArchive* archive, PlatformFile* file, uint64_t fileSize, uint32_t headerEnd,
                   const uint8_t* fields, GrfProgressCallback progress) {
    int32_t packedSize = GetLeI32(fields);
    int32_t tableOffset = GetLeI32(fields + 4);
    // The table lies in the file after the header (a table inside the header
    // could only be a lie).
    if (packedSize < 0 || tableOffset < 0 || static_cast<uint32_t>(tableOffset) < headerEnd ||
        uint64_t{static_cast<uint32_t>(tableOffset)} + static_cast<uint32_t>(packedSize) > fileSize)
        return GRF_ERROR_NOT_ARCHIVE;
    uint32_t size = static_cast<uint32_t>(packedSize);
    auto* packed = static_cast<uint8_t*>(PlatformAlloc(size ? size : 1));
    if (!packed) return GRF_ERROR_MEMORY;
    uint32_t got = 0;
    uint32_t code = GRF_OK;
    if (!PlatformSeek(file, static_cast<uint32_t>(tableOffset)) ||
        !PlatformRead(file, packed, size, &got) || got != size)
        code = GRF_ERROR_READ;
    uint8_t* table = nullptr;
    uint64_t tableSize = 0;
    if (code == GRF_OK) code = InflateTable(packed, size, &table, &tableSize);
    PlatformFree(packed);
    if (code != GRF_OK) return code;

    // First pass: every record whole and sound, and how many there are.
    uint64_t records = 0;
    ThorRecord r = {};
    uint64_t length = 0;
    for (uint64_t at = 0; at < tableSize; at += length) {
        if (!ParseTableRecord(table, tableSize, at, &r, &length) || !RecordFits(r, fileSize)) {
            code = GRF_ERROR_NOT_ARCHIVE;
            break;
        }
        ++records;
    }
    if (code == GRF_OK && records > 0xFFFFFFFFu / sizeof(GrfEntry)) code = GRF_ERROR_MEMORY;
    if (code == GRF_OK && !ReserveEntries(archive, static_cast<uint32_t>(records)))
        code = GRF_ERROR_MEMORY;
    uint32_t filled = 0;
    for (uint64_t at = 0; code == GRF_OK && at < tableSize; at += length) {
        if (progress) progress(nullptr, filled, static_cast<uint32_t>(records));
        if (OpenStopped()) {
            code = GRF_ERROR_CANCELLED;
            break;
        }
        ParseTableRecord(table, tableSize, at, &r, &length);
        FillEntry(archive, r, &archive->entries[filled++]);
    }
    PlatformFree(table);
    archive->count = filled;
    return code;
}

// The single layout: one record right after the header's filler byte, its
// stream right after its name.
uint32_t ReadSingle(GrfArchive* archive, const uint8_t* header, uint32_t headerRead,
                    uint64_t fileSize, uint32_t fieldsAt) {
    if (headerRead - fieldsAt < kSingleFields) return GRF_ERROR_NOT_ARCHIVE;
    const uint8_t* fields = header + fieldsAt + 1;  // past the filler
    ThorRecord r = {};
    r.stored = GetLeI32(fields);
    r.real = GetLeI32(fields + 4);
    r.nameLength = fields[8];
    uint32_t nameAt = fieldsAt + kSingleFields;
    if (headerRead - nameAt < r.nameLength) return GRF_ERROR_NOT_ARCHIVE;
    r.name = header + nameAt;
    r.offset = nameAt + r.nameLength;
    if (!RecordFits(r, fileSize)) return GRF_ERROR_NOT_ARCHIVE;
    if (!ReserveEntries(archive, 1)) return GRF_ERROR_MEMORY;
    FillEntry(archive, r, &archive->entries[0]);
    archive->count = 1;
    return GRF_OK;
}

}  // namespace

void KeepLastOfEachName(GrfArchive* archive) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        GrfEntry* first = NameIndexFind(archive, archive->entries[i].name);
        if (first && first != &archive->entries[i]) {
            *first = archive->entries[i];
            continue;
        }
        ++kept;
    }
    if (kept == archive->count) return;
    // Compact: a record stays when it is the first of its name. The index
    // still points at the first records, which keep their relative order.
    uint32_t to = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        GrfEntry* first = NameIndexFind(archive, archive->entries[i].name);
        if (first != &archive->entries[i]) continue;
        if (to != i) archive->entries[to] = archive->entries[i];
        ++to;
    }
    // The moved records' names are still the index's keys; only their places
    // changed, so the index is built again below.
    memset(archive->entries + to, 0, size_t{archive->count - to} * sizeof(GrfEntry));
    archive->count = to;
}

bool IsPatchHeader(const uint8_t* bytes, uint32_t size) {
    return size >= kMagicSize && memcmp(bytes, kMagic, kMagicSize) == 0;
}

uint32_t OpenPatch(GrfArchive* archive, PlatformFile* file, GrfProgressCallback progress) {
    uint64_t fileSize = PlatformFileSize(file);
    uint8_t header[kHeaderMax];
    uint32_t got = 0;
    if (!PlatformSeek(file, 0) || !PlatformRead(file, header, kHeaderMax, &got))
        return GRF_ERROR_READ;
    if (got < kTarget || !IsPatchHeader(header, got)) return GRF_ERROR_NOT_ARCHIVE;
    uint32_t targetLength = header[kTargetLength];
    uint32_t fieldsAt = kTarget + targetLength;
    if (got < fieldsAt || memchr(header + kTarget, 0, targetLength)) return GRF_ERROR_NOT_ARCHIVE;

    auto* info = static_cast<GrfPatchInfo*>(PlatformAlloc(sizeof(GrfPatchInfo)));
    if (!info) return GRF_ERROR_MEMORY;
    info->mergeMode = header[kMergeMode];
    info->layout = GetLe16(header + kMode);
    info->fileCount = GetLe32(header + kFileCount);
    memcpy(info->target, header + kTarget, targetLength);
    archive->patch = info;
    memset(archive->header, 0, GRF_HEADER_SIZE);

    uint32_t code;
    if (info->layout == kModeTable) {
        code = got - fieldsAt < kTableFields
                   ? uint32_t{GRF_ERROR_NOT_ARCHIVE}
                   : ReadTable(archive, file, fileSize, fieldsAt + kTableFields, header + fieldsAt,
                               progress);
    } else if (info->layout == kModeSingle) {
        code = ReadSingle(archive, header, got, fileSize, fieldsAt);
    } else {
        code = GRF_ERROR_VERSION;
    }
    if (code != GRF_OK) return code;
    archive->entriesSize = archive->count * static_cast<uint32_t>(sizeof(GrfEntry));
    if (!NameIndexBuild(archive)) return GRF_ERROR_MEMORY;
    uint32_t before = archive->count;
    KeepLastOfEachName(archive);
    if (archive->count == before) return GRF_OK;
    archive->entriesSize = archive->count * static_cast<uint32_t>(sizeof(GrfEntry));
    return NameIndexBuild(archive) ? GRF_OK : GRF_ERROR_MEMORY;
}

extern "C" const GrfPatchInfo* GrfPatchOf(const GrfArchive* archive) {
    if (!archive || archive == GRF_NO_ARCHIVE) return nullptr;
    return archive->patch;
}
