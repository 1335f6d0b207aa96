// archive.cpp -- opening archives of the three directory layouts, making and
// releasing archive records, the cycle rules and the debugger line.
#include "archive_internal.h"
#include "file_lock.h"
#include "grf_format.h"
#include "inflate.h"
#include "keyed.h"
#include "le_bytes.h"
#include "platform.h"
#include "rgz.h"
#include "thor.h"

#include <stdio.h>
#include <string.h>
#include <zlib.h>

uint32_t GrfLastError = 0;

namespace {

using namespace grf;

// Only this much of a name area can hold a name that fits the name field
// (GRF_NAME_SIZE rounded up to whole blocks); the name transform works block
// by block, so decoding this prefix gives the same bytes as decoding the
// whole area.
constexpr uint32_t kV1NamePrefix = (GRF_NAME_SIZE + kCipherBlock - 1) / kCipherBlock * kCipherBlock;
static_assert(kV1NamePrefix == 112);

// The system's code for a failed read, never 0: a failure must not look
// like success.
uint32_t SystemReadError() {
    uint32_t code = PlatformLastError();
    return code ? code : uint32_t{GRF_ERROR_READ};
}

// The record stays the size it had with a 32-bit position.
static_assert(sizeof(void*) != 8 || sizeof(GrfEntry) == 144);

bool HasText(const uint8_t* header, size_t length, const char* text, size_t size) {
    for (size_t at = 0; at + size <= length; ++at)
        if (memcmp(header + at, text, size) == 0) return true;
    return false;
}

// Either text in use, for every version: the version field alone tells the
// layouts apart.
bool HasMagic(const uint8_t* header) {
    size_t length = strnlen(reinterpret_cast<const char*>(header), GRF_HEADER_SIZE);
    return HasText(header, length, kMagic, sizeof kMagic - 1) ||
           HasText(header, length, kMagicOther, sizeof kMagicOther - 1);
}

// A stored offset made absolute; one so large that adding the base would
// wrap stays beyond every file instead.
uint64_t Absolute(uint64_t offset) {
    return offset > UINT64_MAX - kOffsetBase ? UINT64_MAX : offset + kOffsetBase;
}

int8_t DigitCount(uint32_t value) {
    int8_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// The watcher of the open running on this thread (GrfOpenWatched), if any.
struct OpenWatcher {
    GrfOpenWatch watch;
    void* context;
    GrfArchive* archive;
    bool stopped;
};

thread_local OpenWatcher* t_watcher = nullptr;

}  // namespace

bool OpenStopped() {
    return t_watcher && t_watcher->stopped;
}

namespace {

// The progress of a watched open: the table as read so far goes to the
// watcher. A patch's table is compacted after it is read, so its records
// are not shown before the open ends.
int32_t WatchOpen(GrfEntry*, uint32_t filled, uint32_t expected) {
    OpenWatcher* w = t_watcher;
    const GrfEntry* entries = w->archive->patch ? nullptr : w->archive->entries;
    if (w->watch(w->context, entries, entries ? filled : 0, expected) != 0) w->stopped = true;
    return 0;
}

void FreeArchive(GrfArchive* archive) {
    NameIndexFree(archive);
    LocalFilesFree(archive);
    PlatformFree(archive->patch);
    PlatformFree(archive->entries);
    FreeKeys(archive);
    ForgetUnpacked(archive);
    PlatformFree(archive);
}

// Allocates the table for `records` entries (none for 0). entriesSize counts
// the table's bytes in 32 bits: a larger table is refused, never wrapped.
bool AllocateTable(GrfArchive* archive, uint32_t records) {
    if (records == 0) return true;
    if (records > 0xFFFFFFFFu / sizeof(GrfEntry)) return false;
    archive->entries = static_cast<GrfEntry*>(PlatformAlloc(size_t{records} * sizeof(GrfEntry)));
    if (!archive->entries) return false;
    archive->capacity = records;
    return true;
}

uint32_t FinishTable(GrfArchive* archive, uint32_t filled) {
    archive->count = filled;
    archive->entriesSize = filled * static_cast<uint32_t>(sizeof(GrfEntry));
    return NameIndexBuild(archive) ? GRF_OK : GRF_ERROR_MEMORY;
}

// A 0x1xx directory runs to the end of the file, however large that is; it
// is read through a window of bounded size that slides forward, so memory
// follows the window, not what the file claims. A directory that fits the
// window is read once for both passes.
constexpr uint32_t kDirWindow = 1 << 20;

struct DirReader {
    PlatformFile* file = nullptr;
    uint64_t start = 0;  // file offset of the directory
    uint64_t size = 0;   // its bytes, up to the end of the file
    uint8_t* window = nullptr;
    uint64_t first = 0;   // directory offset of window[0]
    uint64_t filled = 0;  // bytes of the window that hold the directory
    uint32_t error = GRF_OK;
};

// Makes [at, at + length) of the directory readable (length at most
// kDirWindow) and returns it; null past the end of what the file holds, or
// when a read failed (error set).
const uint8_t* Span(DirReader* r, uint64_t at, uint32_t length) {
    if (at >= r->first && at - r->first + length <= r->filled) return r->window + (at - r->first);
    if (at > r->size || r->size - at < length) return nullptr;
    uint64_t kept = 0;
    if (at >= r->first && at < r->first + r->filled) {
        kept = r->first + r->filled - at;
        memmove(r->window, r->window + (at - r->first), static_cast<size_t>(kept));
    }
    r->first = at;
    r->filled = kept;
    uint64_t left = r->size - (at + kept);
    uint32_t want = static_cast<uint32_t>(kDirWindow - kept < left ? kDirWindow - kept : left);
    uint32_t got = 0;
    if (!PlatformSeek(r->file, r->start + at + kept)) {
        r->error = GRF_ERROR_NOT_ARCHIVE;
        return nullptr;
    }
    if (!PlatformRead(r->file, r->window + kept, want, &got)) {
        r->error = SystemReadError();
        return nullptr;
    }
    r->filled += got;
    if (got < want) r->size = at + r->filled;  // the file ended sooner
    return length <= r->filled ? r->window : nullptr;
}

// One 0x1xx record: N, the start of its name area and its fields.
struct V1Record {
    uint64_t length;                             // N + kV1Tail
    uint8_t head[kV1NameStart + kV1NamePrefix];  // N and what a name can use
    const uint8_t* fields;                       // kV1Tail bytes, valid until the next Span
};

// Reads the record at `at`; false when none fits in what is left (or a read
// failed). Without name the head is left alone: the first pass needs only
// the length and the type.
bool ReadV1Record(DirReader* r, uint64_t at, bool name, V1Record* record) {
    const uint8_t* p = Span(r, at, 4);
    if (!p) return false;
    uint64_t n = GetLe32(p);
    if (n < kV1NameStart || r->size - at < n + kV1Tail) return false;
    record->length = n + kV1Tail;
    if (name) {
        uint32_t head = static_cast<uint32_t>(
            n - kV1NameStart < kV1NamePrefix ? n : kV1NameStart + kV1NamePrefix);
        if (!(p = Span(r, at, head))) return false;
        memcpy(record->head, p, head);
    }
    record->fields = Span(r, at + n, kV1Tail);
    return record->fields != nullptr;
}

// Decodes the name of a 0x1xx record into name (zero-filled, GRF_NAME_SIZE
// bytes). False when the area holds no name that fits: no terminator within
// GRF_NAME_MAX + 1 bytes.
bool DecodeV1Name(const uint8_t* head, char* name) {
    uint32_t area = GetLe32(head) - kV1NameStart;
    uint32_t take = area < kV1NamePrefix ? area : kV1NamePrefix;
    uint8_t decoded[kV1NamePrefix + 8] = {};
    memcpy(decoded, head + kV1NameStart, take);
    GrfCipherName(decoded, take, 1);
    uint32_t limit = take < GRF_NAME_MAX + 1 ? take : GRF_NAME_MAX + 1;
    const void* end = memchr(decoded, 0, limit);
    if (!end) return false;
    memcpy(name, decoded, static_cast<size_t>(static_cast<const uint8_t*>(end) - decoded));
    return true;
}

uint32_t ParseV1(GrfArchive* archive, DirReader* r, GrfProgressCallback progress) {
    V1Record record;
    uint32_t records = 0;
    uint64_t end = 0;
    for (; ReadV1Record(r, end, false, &record); end += record.length)
        if (record.fields[kV1TailType] != 0) ++records;
    if (r->error != GRF_OK) return r->error;
    // Where the walk stopped: bytes past it are no records (a save must
    // know whether any are there).
    archive->directoryEnd = r->start + end;
    if (!AllocateTable(archive, records)) return GRF_ERROR_MEMORY;

    uint32_t version = GetLe32(archive->header + kHeaderVersion);
    uint32_t filled = 0;
    for (uint64_t at = 0; filled < records && ReadV1Record(r, at, true, &record);
         at += record.length) {
        if (progress) progress(nullptr, filled, records);
        if (OpenStopped()) return GRF_ERROR_CANCELLED;
        const uint8_t* fields = record.fields;
        uint8_t type = fields[kV1TailType];
        if (type == 0) continue;
        GrfEntry* entry = &archive->entries[filled];
        if (!DecodeV1Name(record.head, entry->name)) break;
        uint32_t realSize = GetLe32(fields + kV1TailReal);
        entry->owner = archive;
        entry->compressedSize = GetLe32(fields + kV1TailCompressed) - realSize - kV1CompressedBias;
        entry->alignedSize = GetLe32(fields + kV1TailAligned) - kV1AlignedBias;
        entry->realSize = realSize;
        entry->position = Absolute(GetLe32(fields + kV1TailOffset));
        entry->version = version;
        entry->type = type;
        entry->cycle = GrfCycleFromName(entry->name, entry->compressedSize);
        entry->state = GRF_ENTRY_IN_ARCHIVE;
        ++filled;
    }
    if (r->error != GRF_OK) return r->error;
    return FinishTable(archive, filled);
}

uint32_t OpenV1(GrfArchive* archive, PlatformFile* file, uint64_t dirStart, uint64_t fileSize,
                GrfProgressCallback progress) {
    if (dirStart > fileSize || fileSize - dirStart > 0xFFFFFFFFu) return GRF_ERROR_NOT_ARCHIVE;
    archive->directoryEnd = dirStart;
    if (fileSize == dirStart) return FinishTable(archive, 0);
    DirReader reader;
    reader.file = file;
    reader.start = dirStart;
    reader.size = fileSize - dirStart;
    uint64_t windowSize = reader.size < kDirWindow ? reader.size : kDirWindow;
    reader.window = static_cast<uint8_t*>(PlatformAlloc(static_cast<size_t>(windowSize)));
    if (!reader.window) return GRF_ERROR_MEMORY;
    uint32_t code = ParseV1(archive, &reader, progress);
    PlatformFree(reader.window);
    return code;
}

// What tells the 0x2xx and 0x300 tables apart: the bytes of a record's
// fields after its name, and the width of its offset.
struct Layout {
    uint32_t tail;
    bool wideOffset;
};

constexpr Layout kV2Layout = {kV2Tail, false};
constexpr Layout kV3Layout = {kV3Tail, true};

// The name at `at` of a 0x2xx or 0x300 table: its length, or false when no
// whole record starts there.
bool TableRecord(const uint8_t* table, uint64_t size, uint64_t at, uint32_t tail,
                 uint64_t* nameLength) {
    if (at >= size) return false;
    const void* end = memchr(table + at, 0, size - at);
    if (!end) return false;
    *nameLength = static_cast<uint64_t>(static_cast<const uint8_t*>(end) - (table + at));
    return size - at - *nameLength - 1 >= tail;
}

// The cycle of a 0x2xx or 0x300 record of that type, and whether the type
// names an entry at all: types without the file bit are folders; file types
// beyond the three we decipher are kept, marked as not read.
bool CycleOfType(uint8_t type, uint32_t compressedSize, int8_t* cycle) {
    if (!(type & kTypeFile)) return false;
    if (type == kTypeFile || type == kTypeMixed || type == kTypeHeaderOnly)
        *cycle = GrfCycleFromType(type, compressedSize);
    else
        *cycle = GRF_CYCLE_FOREIGN;
    return true;
}

// total: the records the header counts; a table that ends sooner ends the
// parse there.
uint32_t ParseTable(GrfArchive* archive, const uint8_t* table, uint64_t size, uint32_t total,
                    Layout layout, GrfProgressCallback progress) {
    uint32_t present = 0;
    uint32_t zeroCount = 0;
    uint64_t at = 0, nameLength = 0;
    for (; present < total && TableRecord(table, size, at, layout.tail, &nameLength); ++present) {
        if (!(table[at + nameLength + 1 + kV2TailType] & kTypeFile)) ++zeroCount;
        at += nameLength + 1 + layout.tail;
    }
    GrfDebugPrint(L"V2 dirent parse: %d out of %d\n", static_cast<int32_t>(zeroCount),
                  static_cast<int32_t>(total));

    uint32_t expected = present - zeroCount;
    if (!AllocateTable(archive, expected)) return GRF_ERROR_MEMORY;
    uint32_t version = GetLe32(archive->header + kHeaderVersion);
    uint32_t filled = 0;
    at = 0;
    for (uint32_t record = 0; record < present && filled < expected; ++record) {
        TableRecord(table, size, at, layout.tail, &nameLength);
        const uint8_t* name = table + at;
        const uint8_t* fields = name + nameLength + 1;
        at += nameLength + 1 + layout.tail;
        if (nameLength == 0) break;
        if (progress) progress(nullptr, filled, expected);
        if (OpenStopped()) return GRF_ERROR_CANCELLED;
        uint8_t type = fields[kV2TailType];
        uint32_t compressedSize = GetLe32(fields + kV2TailCompressed);
        int8_t cycle = 0;
        // A name that does not fit the field is skipped, never cut short.
        if (nameLength > GRF_NAME_MAX || !CycleOfType(type, compressedSize, &cycle)) continue;
        GrfEntry* entry = &archive->entries[filled];
        memcpy(entry->name, name, nameLength);
        entry->owner = archive;
        entry->compressedSize = compressedSize;
        entry->alignedSize = GetLe32(fields + kV2TailAligned);
        entry->realSize = GetLe32(fields + kV2TailReal);
        entry->type = type;
        const uint8_t* offset = fields + kV2TailOffset;
        entry->position = Absolute(layout.wideOffset ? GetLe64(offset) : GetLe32(offset));
        entry->version = version;
        entry->cycle = cycle;
        entry->state = GRF_ENTRY_IN_ARCHIVE;
        ++filled;
    }
    return FinishTable(archive, filled);
}

// The directory of a 0x2xx or 0x300 archive at dirStart: its sizes (after
// the 0x300 reserved field), then the compressed table.
uint32_t OpenTable(GrfArchive* archive, PlatformFile* file, uint64_t dirStart, uint64_t fileSize,
                   uint32_t total, Layout layout, GrfProgressCallback progress) {
    uint32_t sizesSize = layout.wideOffset ? kV3Sizes : kV2Sizes;
    if (dirStart > fileSize || fileSize - dirStart < sizesSize) return GRF_ERROR_NOT_ARCHIVE;
    uint8_t sizes[kV3Sizes];
    uint32_t got = 0;
    if (!PlatformSeek(file, dirStart)) return GRF_ERROR_NOT_ARCHIVE;
    if (!PlatformRead(file, sizes, sizesSize, &got)) return SystemReadError();
    if (got != sizesSize) return GRF_ERROR_NOT_ARCHIVE;
    const uint8_t* packedField = layout.wideOffset ? sizes + kV3SizesPacked : sizes;
    uint32_t packedSize = GetLe32(packedField);
    uint32_t tableSize = GetLe32(packedField + 4);
    // The directory may sit anywhere (entry data can follow it), but the
    // compressed table must lie inside the file, and its stated size must be
    // one that many bytes can inflate to.
    if (fileSize - dirStart - sizesSize < packedSize) return GRF_ERROR_NOT_ARCHIVE;
    if (tableSize > packedSize * kMaxInflateRatio) return GRF_ERROR_NOT_ARCHIVE;
    archive->directoryEnd = dirStart + sizesSize + packedSize;

    auto* packed = static_cast<uint8_t*>(PlatformAlloc(packedSize));
    auto* table = static_cast<uint8_t*>(PlatformAlloc(tableSize));
    uint32_t code;
    if (!packed || !table) {
        code = GRF_ERROR_MEMORY;
    } else if (!PlatformRead(file, packed, packedSize, &got)) {
        code = SystemReadError();
    } else {
        // A table that does not inflate is not an error: the rest stays zero
        // and the parse ends at the first empty name.
        size_t inflated = 0;
        InflateWhole(table, tableSize, packed, got, &inflated);
        PlatformFree(packed);
        packed = nullptr;
        code = ParseTable(archive, table, tableSize, total, layout, progress);
    }
    PlatformFree(packed);
    PlatformFree(table);
    return code;
}

// 0x2xx: a 32-bit directory offset and the count biased by the seed.
uint32_t OpenV2(GrfArchive* archive, PlatformFile* file, uint64_t fileSize,
                GrfProgressCallback progress) {
    const uint8_t* header = archive->header;
    uint64_t dirStart = Absolute(GetLe32(header + kHeaderDirOffset));
    uint32_t total = GetLe32(header + kHeaderCount) - GetLe32(header + kHeaderSeed) - kCountBias;
    return OpenTable(archive, file, dirStart, fileSize, total, kV2Layout, progress);
}

// 0x300: a 64-bit directory offset and the plain count. A header whose
// offset would lie past 2^40 bytes (a terabyte) holds the 0x2xx fields
// instead, as some writers leave them; its table is still 0x300's.
uint32_t OpenV3(GrfArchive* archive, PlatformFile* file, uint64_t fileSize,
                GrfProgressCallback progress) {
    const uint8_t* header = archive->header;
    uint64_t dirStart = 0;
    uint32_t total = 0;
    if (header[kHeaderSeed + 1] == 0 && header[kHeaderSeed + 2] == 0 &&
        header[kHeaderSeed + 3] == 0) {
        dirStart = Absolute(GetLe64(header + kHeaderDirOffset));
        total = GetLe32(header + kHeaderCount);
    } else {
        dirStart = Absolute(GetLe32(header + kHeaderDirOffset));
        total = GetLe32(header + kHeaderCount) - GetLe32(header + kHeaderSeed) - kCountBias;
    }
    return OpenTable(archive, file, dirStart, fileSize, total, kV3Layout, progress);
}

uint32_t ReadArchive(GrfArchive* archive, PlatformFile* file, GrfProgressCallback progress) {
    uint32_t got = 0;
    if (!PlatformRead(file, archive->header, GRF_HEADER_SIZE, &got)) return SystemReadError();
    if (IsPatchHeader(archive->header, got)) return OpenPatch(archive, file, progress);
    if (IsRgzHeader(archive->header, got)) return OpenRgz(archive, file, progress);
    if (!HasMagic(archive->header)) return GRF_ERROR_NOT_ARCHIVE;
    uint64_t fileSize = PlatformFileSize(file);
    switch (GetLe32(archive->header + kHeaderVersion) >> 8) {
        case kMajorV1:
            return OpenV1(archive, file, Absolute(GetLe32(archive->header + kHeaderDirOffset)),
                          fileSize, progress);
        case kMajorV2:
            return OpenV2(archive, file, fileSize, progress);
        case kMajorV3:
            return OpenV3(archive, file, fileSize, progress);
        default:
            return GRF_ERROR_VERSION;
    }
}

// A new archive record keeping the absolute form of path, so that a later
// change of the current directory does not lose the file.
GrfArchive* NewArchive(const wchar_t* path, uint32_t* code) {
    auto* archive = static_cast<GrfArchive*>(PlatformAlloc(sizeof(GrfArchive)));
    if (!archive) {
        *code = GRF_ERROR_MEMORY;
        return nullptr;
    }
    if (!path || !PlatformAbsolutePath(path, archive->path, GRF_PATH_SIZE)) {
        PlatformFree(archive);
        *code = GRF_ERROR_NOT_FOUND;
        return nullptr;
    }
    return archive;
}

bool SameStamp(const GrfFileStamp& a, const GrfFileStamp& b) {
    return a.size == b.size && a.time == b.time && a.device == b.device && a.file == b.file;
}

// Opens the file of record (made by NewArchive) into it; releases it when
// that fails, with the reason in *code.
GrfArchive* OpenInto(GrfArchive* archive, uint32_t* code, GrfProgressCallback progress) {
    // Held while the header and directory are read: no writer switches
    // them meanwhile.
    FileHold hold;
    if (HoldForReading(archive, &hold) != GRF_OK) {
        FreeArchive(archive);
        *code = GRF_ERROR_IN_USE;
        return GRF_NO_ARCHIVE;
    }
    PlatformFile* file = PlatformOpenRead(archive->path);
    if (!file) {
        *code = OpenFailure();
        ReleaseFile(&hold);
        FreeArchive(archive);
        return GRF_NO_ARCHIVE;
    }
    *code = PlatformStampOf(file, &archive->stamp) ? ReadArchive(archive, file, progress)
                                                   : SystemReadError();
    PlatformClose(file);
    ReleaseFile(&hold);
    if (*code == GRF_OK && !RememberOpenArchive(archive)) *code = GRF_ERROR_MEMORY;
    if (*code != GRF_OK) {
        // The watcher lets go of the table before it is released.
        if (t_watcher && archive->entries) t_watcher->watch(t_watcher->context, nullptr, 0, 0);
        FreeArchive(archive);
        return GRF_NO_ARCHIVE;
    }
    return archive;
}

}  // namespace

extern "C" GrfArchive* GrfOpen(const wchar_t* path, GrfProgressCallback progress) {
    uint32_t code = GRF_OK;
    GrfArchive* archive = NewArchive(path, &code);
    if (archive) archive = OpenInto(archive, &code, progress);
    if (!archive || archive == GRF_NO_ARCHIVE) {
        GrfLastError = code;
        return GRF_NO_ARCHIVE;
    }
    return archive;
}

extern "C" GrfArchive* GrfOpenWatched(const wchar_t* path, GrfOpenWatch watch, void* context,
                                      uint32_t* code) {
    uint32_t result = GRF_OK;
    GrfArchive* archive = NewArchive(path, &result);
    if (archive) {
        OpenWatcher watcher = {watch, context, archive, false};
        t_watcher = watch ? &watcher : nullptr;
        archive = OpenInto(archive, &result, watch ? WatchOpen : nullptr);
        t_watcher = nullptr;
    }
    if (!archive) archive = GRF_NO_ARCHIVE;
    if (archive == GRF_NO_ARCHIVE) GrfLastError = result;
    if (code) *code = archive == GRF_NO_ARCHIVE ? result : uint32_t{GRF_OK};
    return archive;
}

uint32_t OpenFailure(void) {
    return PlatformAccessDenied() ? GRF_ERROR_ACCESS : GRF_ERROR_NOT_FOUND;
}

uint32_t CheckArchiveFile(const GrfArchive* archive, PlatformFile* file) {
    GrfFileStamp now;
    bool same = PlatformStampOf(file, &now) && SameStamp(now, archive->stamp);
    return same ? GRF_OK : GRF_ERROR_CHANGED;
}

uint32_t OpenArchiveFile(const GrfArchive* archive, PlatformFile** file) {
    // An RGZ's entries are read from its stream as unpacked when it opened.
    *file = PlatformOpenRead(archive->unpacked ? archive->unpacked : archive->path);
    if (!*file) return OpenFailure();
    uint32_t code = CheckArchiveFile(archive, *file);
    if (code != GRF_OK) {
        PlatformClose(*file);
        *file = nullptr;
    }
    return code;
}

extern "C" GrfArchive* GrfCreate(const wchar_t* path) {
    uint32_t code = GRF_OK;
    GrfArchive* archive = NewArchive(path, &code);
    if (!archive) {
        GrfLastError = code;
        return GRF_NO_ARCHIVE;
    }
    return archive;
}

extern "C" int GrfClose(GrfArchive** archive) {
    if (*archive == GRF_NO_ARCHIVE) return 1;
    if (*archive) {
        ForgetOpenArchive(*archive);
        FreeArchive(*archive);
    }
    *archive = GRF_NO_ARCHIVE;
    return 0;
}

extern "C" uint32_t GrfVersion(void) {
    return GRF_VERSION_NUMBER;
}

extern "C" uint32_t GrfGetLastError(void) {
    return GrfLastError;
}

extern "C" int8_t GrfCycleFromName(const char* name, uint32_t compressedSize) {
    const char* dot = strchr(name, '.');
    if (!dot) return 0;
    static const char* const kPlain[] = {".gnd", ".gat", ".act", ".str"};
    for (const char* plain : kPlain)
        if (strcmp(dot, plain) == 0) return 0;
    return DigitCount(compressedSize);
}

extern "C" int8_t GrfCycleFromType(uint8_t type, uint32_t compressedSize) {
    if (type == grf::kTypeMixed) return DigitCount(compressedSize);
    if (type == grf::kTypeHeaderOnly) return 0;
    return -1;
}

extern "C" void GrfDebugPrint(const wchar_t* format, int32_t first, int32_t second) {
    wchar_t line[2048];
    if (swprintf(line, 2048, format, first, second) < 0) line[2047] = L'\0';
    PlatformDebugOutput(line);
}
