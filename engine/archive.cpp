// archive.cpp -- opening archives of both directory layouts, making and
// releasing archive records, the cycle rules and the debugger line.
#include "archive_internal.h"
#include "grf_format.h"
#include "le_bytes.h"
#include "platform.h"

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

bool HasMagic(const uint8_t* header) {
    size_t length = strnlen(reinterpret_cast<const char*>(header), GRF_HEADER_SIZE);
    size_t magic = sizeof kMagic - 1;
    for (size_t at = 0; at + magic <= length; ++at)
        if (memcmp(header + at, kMagic, magic) == 0) return true;
    return false;
}

int8_t DigitCount(uint32_t value) {
    int8_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

void FreeArchive(GrfArchive* archive) {
    NameIndexFree(archive);
    PlatformFree(archive->entries);
    PlatformFree(archive);
}

// Allocates the table for `records` entries (none for 0).
bool AllocateTable(GrfArchive* archive, uint32_t records) {
    if (records == 0) return true;
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

// The length of a 0x1xx record at `at`, or 0 when none fits in what is left.
uint64_t V1RecordLength(const uint8_t* dir, uint64_t size, uint64_t at) {
    if (size - at < 4) return 0;
    uint64_t n = GetLe32(dir + at);
    if (n < kV1NameStart || size - at < n + kV1Tail) return 0;
    return n + kV1Tail;
}

// Decodes the name of the 0x1xx record at `record` into name (zero-filled,
// GRF_NAME_SIZE bytes). False when the area holds no name that fits: no
// terminator, or 107 bytes and more.
bool DecodeV1Name(const uint8_t* record, char* name) {
    uint32_t area = GetLe32(record) - kV1NameStart;
    uint32_t take = area < kV1NamePrefix ? area : kV1NamePrefix;
    uint8_t decoded[kV1NamePrefix + 8] = {};
    memcpy(decoded, record + kV1NameStart, take);
    GrfCipherName(decoded, take, 1);
    uint32_t limit = take < GRF_NAME_SIZE ? take : GRF_NAME_SIZE;
    const void* end = memchr(decoded, 0, limit);
    if (!end) return false;
    size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - decoded);
    if (length >= GRF_NAME_SIZE - 1) return false;
    memcpy(name, decoded, length);
    return true;
}

uint32_t ParseV1(GrfArchive* archive, const uint8_t* dir, uint64_t size,
                 GrfProgressCallback progress) {
    uint32_t records = 0;
    for (uint64_t at = 0, length; (length = V1RecordLength(dir, size, at)) != 0; at += length)
        if (dir[at + length - kV1Tail + kV1TailType] != 0) ++records;
    if (!AllocateTable(archive, records)) return GRF_ERROR_MEMORY;

    uint32_t version = GetLe32(archive->header + kHeaderVersion);
    uint32_t filled = 0;
    for (uint64_t at = 0, length; filled < records && (length = V1RecordLength(dir, size, at)) != 0;
         at += length) {
        if (progress) progress(nullptr, filled, records);
        const uint8_t* record = dir + at;
        const uint8_t* fields = record + length - kV1Tail;
        uint8_t type = fields[kV1TailType];
        if (type == 0) continue;
        GrfEntry* entry = &archive->entries[filled];
        if (!DecodeV1Name(record, entry->name)) break;
        uint32_t realSize = GetLe32(fields + kV1TailReal);
        entry->owner = archive;
        entry->compressedSize = GetLe32(fields + kV1TailCompressed) - realSize - kV1CompressedBias;
        entry->alignedSize = GetLe32(fields + kV1TailAligned) - kV1AlignedBias;
        entry->realSize = realSize;
        entry->position = GetLe32(fields + kV1TailOffset) + kOffsetBase;
        entry->version = version;
        entry->type = type;
        entry->cycle = GrfCycleFromName(entry->name, entry->compressedSize);
        entry->state = ENTRY_IN_ARCHIVE;
        ++filled;
    }
    return FinishTable(archive, filled);
}

uint32_t OpenV1(GrfArchive* archive, PlatformFile* file, uint64_t dirStart, uint64_t fileSize,
                GrfProgressCallback progress) {
    if (dirStart > fileSize || fileSize - dirStart > 0xFFFFFFFFu) return GRF_ERROR_NOT_ARCHIVE;
    uint32_t size = static_cast<uint32_t>(fileSize - dirStart);
    if (size == 0) return FinishTable(archive, 0);
    auto* dir = static_cast<uint8_t*>(PlatformAlloc(size));
    if (!dir) return GRF_ERROR_MEMORY;
    uint32_t got = 0;
    uint32_t code;
    if (!PlatformSeek(file, dirStart))
        code = GRF_ERROR_NOT_ARCHIVE;
    else if (!PlatformRead(file, dir, size, &got))
        code = SystemReadError();
    else
        code = ParseV1(archive, dir, got, progress);
    PlatformFree(dir);
    return code;
}

// The name at `at` of a 0x2xx table: its length, or false when no whole
// record starts there.
bool V2Record(const uint8_t* table, uint64_t size, uint64_t at, uint64_t* nameLength) {
    if (at >= size) return false;
    const void* end = memchr(table + at, 0, size - at);
    if (!end) return false;
    *nameLength = static_cast<uint64_t>(static_cast<const uint8_t*>(end) - (table + at));
    return size - at - *nameLength - 1 >= kV2Tail;
}

uint32_t ParseV2(GrfArchive* archive, const uint8_t* table, uint64_t size,
                 GrfProgressCallback progress) {
    const uint8_t* header = archive->header;
    uint32_t total = GetLe32(header + kHeaderCount) - GetLe32(header + kHeaderSeed) - kCountBias;
    uint32_t present = 0;
    uint32_t zeroCount = 0;
    uint64_t at = 0, nameLength = 0;
    for (; present < total && V2Record(table, size, at, &nameLength); ++present) {
        if (table[at + nameLength + 1 + kV2TailType] == 0) ++zeroCount;
        at += nameLength + 1 + kV2Tail;
    }
    GrfDebugPrint(L"V2 dirent parse: %d out of %d\n", static_cast<int32_t>(zeroCount),
                  static_cast<int32_t>(total));

    uint32_t expected = present - zeroCount;
    if (!AllocateTable(archive, expected)) return GRF_ERROR_MEMORY;
    uint32_t version = GetLe32(header + kHeaderVersion);
    uint32_t filled = 0;
    at = 0;
    for (uint32_t record = 0; record < present && filled < expected; ++record) {
        V2Record(table, size, at, &nameLength);
        const uint8_t* name = table + at;
        const uint8_t* fields = name + nameLength + 1;
        at += nameLength + 1 + kV2Tail;
        if (nameLength == 0) break;
        if (progress) progress(nullptr, filled, expected);
        uint8_t type = fields[kV2TailType];
        // A name that does not fit the field is skipped, never cut short.
        if (nameLength >= GRF_NAME_SIZE ||
            (type != kTypeFile && type != kTypeMixed && type != kTypeHeaderOnly))
            continue;
        GrfEntry* entry = &archive->entries[filled];
        memcpy(entry->name, name, nameLength);
        entry->owner = archive;
        entry->compressedSize = GetLe32(fields + kV2TailCompressed);
        entry->alignedSize = GetLe32(fields + kV2TailAligned);
        entry->realSize = GetLe32(fields + kV2TailReal);
        entry->type = type;
        entry->position = GetLe32(fields + kV2TailOffset) + kOffsetBase;
        entry->version = version;
        entry->cycle = GrfCycleFromType(type, entry->compressedSize);
        entry->state = ENTRY_IN_ARCHIVE;
        ++filled;
    }
    return FinishTable(archive, filled);
}

uint32_t OpenV2(GrfArchive* archive, PlatformFile* file, uint64_t dirStart, uint64_t fileSize,
                GrfProgressCallback progress) {
    if (dirStart > fileSize || fileSize - dirStart < kV2Sizes) return GRF_ERROR_NOT_ARCHIVE;
    uint8_t sizes[kV2Sizes];
    uint32_t got = 0;
    if (!PlatformSeek(file, dirStart)) return GRF_ERROR_NOT_ARCHIVE;
    if (!PlatformRead(file, sizes, kV2Sizes, &got)) return SystemReadError();
    if (got != kV2Sizes) return GRF_ERROR_NOT_ARCHIVE;
    uint32_t packedSize = GetLe32(sizes);
    uint32_t tableSize = GetLe32(sizes + 4);
    // The directory may sit anywhere (entry data can follow it), but the
    // compressed table must lie inside the file, and its stated size must be
    // one that many bytes can inflate to.
    if (fileSize - dirStart - kV2Sizes < packedSize) return GRF_ERROR_NOT_ARCHIVE;
    if (tableSize > packedSize * kMaxInflateRatio) return GRF_ERROR_NOT_ARCHIVE;

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
        uLongf inflated = tableSize;
        uncompress(table, &inflated, packed, got);
        PlatformFree(packed);
        packed = nullptr;
        code = ParseV2(archive, table, tableSize, progress);
    }
    PlatformFree(packed);
    PlatformFree(table);
    return code;
}

uint32_t ReadArchive(GrfArchive* archive, PlatformFile* file, GrfProgressCallback progress) {
    uint32_t got = 0;
    if (!PlatformRead(file, archive->header, GRF_HEADER_SIZE, &got)) return SystemReadError();
    if (!HasMagic(archive->header)) return GRF_ERROR_NOT_ARCHIVE;
    uint64_t fileSize = PlatformFileSize(file);
    uint64_t dirStart = uint64_t{GetLe32(archive->header + kHeaderDirOffset)} + kOffsetBase;
    switch (GetLe32(archive->header + kHeaderVersion) >> 8) {
        case kMajorV1:
            return OpenV1(archive, file, dirStart, fileSize, progress);
        case kMajorV2:
            return OpenV2(archive, file, dirStart, fileSize, progress);
        default:
            return GRF_ERROR_VERSION;
    }
}

GrfArchive* NewArchive(const wchar_t* path, uint32_t* code) {
    if (wcslen(path) >= GRF_PATH_SIZE) {
        *code = GRF_ERROR_NOT_FOUND;
        return nullptr;
    }
    auto* archive = static_cast<GrfArchive*>(PlatformAlloc(sizeof(GrfArchive)));
    if (!archive) {
        *code = GRF_ERROR_MEMORY;
        return nullptr;
    }
    wcscpy(archive->path, path);
    return archive;
}

}  // namespace

extern "C" GrfArchive* GrfOpen(const wchar_t* path, GrfProgressCallback progress) {
    uint32_t code = GRF_OK;
    GrfArchive* archive = NewArchive(path, &code);
    if (!archive) {
        GrfLastError = code;
        return GRF_NO_ARCHIVE;
    }
    PlatformFile* file = PlatformOpenRead(path);
    if (!file) {
        FreeArchive(archive);
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return GRF_NO_ARCHIVE;
    }
    code = ReadArchive(archive, file, progress);
    PlatformClose(file);
    if (code != GRF_OK) {
        FreeArchive(archive);
        GrfLastError = code;
        return GRF_NO_ARCHIVE;
    }
    return archive;
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
    if (*archive) FreeArchive(*archive);
    *archive = GRF_NO_ARCHIVE;
    return 0;
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
