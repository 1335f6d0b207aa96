// thor_writer.cpp -- writing the table as a new patch file (THOR, table
// layout): the header, each file's content deflated as its own zlib stream
// (ahead of the writer, on every core), an optional integrity list, then the
// table; in a new file (platform.h) that takes the output's name only when the
// file is complete and on disk.
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "deflate_ahead.h"
#include "le_bytes.h"
#include "platform.h"
#include "platform_threads.h"
#include "thor_format.h"

namespace {

using namespace thor;

// Offsets are 32-bit, sizes signed 32-bit.
constexpr uint64_t kMaxOffset = 0xFFFFFFFFu;
constexpr uint64_t kMaxSize = 0x7FFFFFFFu;
// A local file must leave deflate's worst case below the size limit.
constexpr uint64_t kMaxLocalFile = 0x7F000000u;

// A block that only grows, reused from record to record.
struct Block {
    uint8_t* data = nullptr;
    size_t size = 0;
};

bool Reserve(Block* block, uint64_t size) {
    if (block->data && size <= block->size) return true;
    if (size > SIZE_MAX / 2) return false;
    auto* data = static_cast<uint8_t*>(PlatformAlloc(size ? static_cast<size_t>(size) : 1));
    if (!data) return false;
    PlatformFree(block->data);
    block->data = data;
    block->size = size ? static_cast<size_t>(size) : 1;
    return true;
}

// Text appended to a growing block (the table, the integrity list).
struct Text {
    uint8_t* data = nullptr;
    size_t used = 0;
    size_t capacity = 0;
};

bool AppendText(Text* text, const void* bytes, size_t size) {
    if (text->capacity - text->used < size) {
        size_t grown = text->capacity ? text->capacity : 4096;
        while (grown - text->used < size) grown *= 2;
        auto* data = static_cast<uint8_t*>(PlatformGrow(text->data, text->capacity, grown));
        if (!data) return false;
        text->data = data;
        text->capacity = grown;
    }
    memcpy(text->data + text->used, bytes, size);
    text->used += size;
    return true;
}

struct PatchWrite {
    GrfArchive* archive = nullptr;
    PlatformFile* out = nullptr;
    PlatformNewFile* output = nullptr;  // the output until it is complete
    uint64_t position = 0;
    uint32_t records = 0;
    Text table;
    Text integrity;
    bool withIntegrity = false;
    Block packed;
    // The records written as files, in table order: one deflate job each.
    uint32_t* jobs = nullptr;
    uint32_t jobCount = 0;
    uint32_t jobsTaken = 0;
    DeflateAhead* ahead = nullptr;
};

bool Write(PatchWrite* w, const void* bytes, uint64_t size) {
    if (w->position + size > kMaxOffset || size > 0xFFFFFFFFu) return false;
    if (size && !PlatformWrite(w->out, bytes, static_cast<uint32_t>(size))) return false;
    w->position += size;
    return true;
}

bool IsIntegrityName(const char* name) {
    return strcmp(name, kIntegrityName) == 0;
}

// Whether record index is written as a file (a new list replaces one the
// table holds).
bool IsFileRecord(const PatchWrite* w, const GrfEntry& entry) {
    if (entry.state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL)) return false;
    return !(w->withIntegrity && IsIntegrityName(entry.name));
}

// Reads a local-file record's file whole into a new block.
uint32_t ReadLocal(const GrfArchive* archive, uint32_t index, uint8_t** content, uint32_t* size) {
    wchar_t buffer[260 + GRF_NAME_SIZE + 1];
    const wchar_t* path = LocalPath(archive, index, buffer, sizeof buffer / sizeof buffer[0]);
    PlatformFile* file = path ? PlatformOpenRead(path) : nullptr;
    if (!file) return GRF_ERROR_NOT_FOUND;
    uint64_t length = PlatformFileSize(file);
    uint32_t got = 0;
    uint32_t code = GRF_OK;
    if (length > kMaxLocalFile)
        code = GRF_ERROR_READ;
    else if (!(*content = static_cast<uint8_t*>(PlatformAlloc(static_cast<size_t>(length) + 1))))
        code = GRF_ERROR_MEMORY;
    else if (!PlatformRead(file, *content, static_cast<uint32_t>(length), &got) || got != length)
        code = GRF_ERROR_READ;
    PlatformClose(file);
    *size = static_cast<uint32_t>(length);
    return code;
}

// The content of job's record, on a worker thread: its owner's record read
// and inflated (the owner's file opened for this read alone), or its local
// file.
uint32_t RecordContent(void* context, uint32_t job, uint8_t** content, uint32_t* size) {
    const auto* w = static_cast<const PatchWrite*>(context);
    uint32_t index = w->jobs[job];
    const GrfEntry& entry = w->archive->entries[index];
    if ((entry.state & GRF_ENTRY_ON_DISK) && !(entry.state & GRF_ENTRY_IN_ARCHIVE))
        return ReadLocal(w->archive, index, content, size);
    PlatformFile* file = nullptr;
    uint32_t code = OpenStored(entry, &file);
    if (code == GRF_OK) code = ReadContentFrom(entry, file, content);
    PlatformClose(file);
    *size = entry.realSize;
    return code == GRF_ERROR_NOT_FOUND ? uint32_t{GRF_ERROR_NOT_ARCHIVE} : code;
}

// The integrity list, copied for the deflater.
uint32_t ListContent(void* context, uint32_t, uint8_t** content, uint32_t* size) {
    const auto* list = static_cast<const Text*>(context);
    *size = static_cast<uint32_t>(list->used);
    *content = static_cast<uint8_t*>(PlatformAlloc(list->used + 1));
    if (!*content) return GRF_ERROR_MEMORY;
    if (list->used) memcpy(*content, list->data, list->used);
    return GRF_OK;
}

// The records written as files become jobs, deflated ahead on every core
// when there are several; each is its own stream, so the output is the
// same with any number of workers.
uint32_t StartDeflating(PatchWrite* w) {
    const GrfArchive* archive = w->archive;
    for (uint32_t i = 0; i < archive->count; ++i)
        if (IsFileRecord(w, archive->entries[i])) ++w->jobCount;
    if (!w->jobCount) return GRF_OK;
    w->jobs = static_cast<uint32_t*>(PlatformAlloc(size_t{w->jobCount} * sizeof(uint32_t)));
    if (!w->jobs) return GRF_ERROR_MEMORY;
    uint32_t job = 0;
    for (uint32_t i = 0; i < archive->count; ++i)
        if (IsFileRecord(w, archive->entries[i])) w->jobs[job++] = i;
    uint32_t threads = GrfRepackThreads ? GrfRepackThreads : PlatformCoreCount();
    w->ahead = DeflateAheadStartFrom(RecordContent, w, w->jobCount,
                                     static_cast<int>(GrfRepackLevel), w->withIntegrity, threads);
    return GRF_OK;
}

DeflatedFile NextFile(PatchWrite* w) {
    uint32_t job = w->jobsTaken++;
    if (w->ahead) return DeflateAheadTake(w->ahead, job);
    return DeflateFromSource(RecordContent, w, job, static_cast<int>(GrfRepackLevel),
                             w->withIntegrity);
}

// A table record: name, flags, and for a file its offset and sizes.
bool AddTableRecord(PatchWrite* w, const char* name, bool removal, uint32_t offset, uint32_t stored,
                    uint32_t real) {
    uint8_t head[1 + GRF_NAME_SIZE + 1 + kRecordFields];
    size_t length = NameLength(name);
    head[0] = static_cast<uint8_t>(length);
    memcpy(head + 1, name, length);
    head[1 + length] = removal ? kFlagRemoval : 0;
    size_t size = length + 2;
    if (!removal) {
        PutLe32(head + size, offset);
        PutLe32(head + size + 4, stored);
        PutLe32(head + size + 8, real);
        size += kRecordFields;
    }
    ++w->records;
    return AppendText(&w->table, head, size);
}

// The line of the integrity list for a file: "NAME=0x%08x\r\n".
bool AddIntegrityLine(PatchWrite* w, const char* name, uint32_t crc) {
    char line[GRF_NAME_SIZE + 16];
    static const char kHex[] = "0123456789abcdef";
    size_t length = NameLength(name);
    memcpy(line, name, length);
    memcpy(line + length, "=0x", 3);
    for (int digit = 0; digit < 8; ++digit)
        line[length + 3 + digit] = kHex[(crc >> (28 - 4 * digit)) & 15];
    memcpy(line + length + 11, "\r\n", 2);
    return AppendText(&w->integrity, line, length + 13);
}

// Writes a deflated file zero-filled to a multiple of 8 (no bytes for an
// empty file) and lists it in the table.
uint32_t WriteFile(PatchWrite* w, const char* name, DeflatedFile* file, bool listed) {
    if (file->code != GRF_OK) return file->code;
    if (file->realSize > kMaxSize || file->compressedSize > kMaxSize) return GRF_ERROR_WRITE;
    uint32_t packedSize = file->realSize ? file->compressedSize : 0;
    uint32_t padded = GrfAlign8(packedSize);
    uint64_t offset = w->position;
    if (packedSize) memset(file->data + packedSize, 0, padded - packedSize);
    if (!Write(w, file->data, padded)) return GRF_ERROR_WRITE;
    if (!AddTableRecord(w, name, false, static_cast<uint32_t>(offset), packedSize, file->realSize))
        return GRF_ERROR_MEMORY;
    if (listed && !AddIntegrityLine(w, name, file->crc)) return GRF_ERROR_MEMORY;
    return GRF_OK;
}

uint32_t DataPass(PatchWrite* w, GrfProgressCallback progress) {
    GrfArchive* archive = w->archive;
    uint32_t code = StartDeflating(w);
    for (uint32_t i = 0; i < archive->count && code == GRF_OK; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (entry.state & GRF_ENTRY_DELETED) continue;
        if (progress && progress(&archive->entries[i], i, archive->count) != 0)
            return GRF_ERROR_CANCELLED;
        if (entry.state & GRF_ENTRY_REMOVAL) {
            if (!AddTableRecord(w, entry.name, true, 0, 0, 0)) return GRF_ERROR_MEMORY;
            continue;
        }
        if (!IsFileRecord(w, entry)) continue;
        DeflatedFile file = NextFile(w);
        code = WriteFile(w, entry.name, &file, w->withIntegrity);
        DeflatedFileFree(&file);
    }
    if (code != GRF_OK || !w->withIntegrity) return code;
    // The list does not list itself.
    DeflatedFile list =
        DeflateFromSource(ListContent, &w->integrity, 0, static_cast<int>(GrfRepackLevel), false);
    code = WriteFile(w, kIntegrityName, &list, false);
    DeflatedFileFree(&list);
    return code;
}

// What can be known before writing: names a table record can hold (the
// table's length byte, never empty) and a target name that fits its byte.
uint32_t CheckTable(const GrfArchive* archive, const char* target) {
    if (strlen(target) > 255) return GRF_ERROR_WRITE;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (!(entry.state & GRF_ENTRY_DELETED) && entry.name[0] == '\0') return GRF_ERROR_WRITE;
    }
    return GRF_OK;
}

uint32_t RunWrite(PatchWrite* w, const wchar_t* outputPath, uint8_t mergeMode, const char* target,
                  GrfProgressCallback progress) {
    if (!outputPath || PlatformPathExists(outputPath)) return GRF_ERROR_NOT_FOUND;
    uint32_t code = CheckTable(w->archive, target);
    if (code != GRF_OK) return code;
    w->output = PlatformBeginNewFile(outputPath);
    if (!w->output) return OpenFailure();
    w->out = PlatformNewFileData(w->output);

    uint8_t header[kTarget + 255 + kTableFields] = {};
    uint32_t targetLength = static_cast<uint32_t>(strlen(target));
    uint32_t headerSize = kTarget + targetLength + kTableFields;
    memcpy(header, kMagic, kMagicSize);
    header[kMergeMode] = mergeMode;
    PutLe16(header + kMode, kModeTable);
    header[kTargetLength] = static_cast<uint8_t>(targetLength);
    memcpy(header + kTarget, target, targetLength);
    if (!Write(w, header, headerSize)) return GRF_ERROR_WRITE;

    code = DataPass(w, progress);
    if (code != GRF_OK) return code;
    uLong bound = compressBound(static_cast<uLong>(w->table.used));
    if (w->table.used > kMaxSize || !Reserve(&w->packed, bound)) return GRF_ERROR_MEMORY;
    uLongf packedSize = bound;
    if (w->table.used &&
        compress2(w->packed.data, &packedSize, w->table.data, static_cast<uLong>(w->table.used),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return GRF_ERROR_MEMORY;
    if (!w->table.used) packedSize = 0;
    uint64_t tableOffset = w->position;
    if (!Write(w, w->packed.data, packedSize)) return GRF_ERROR_WRITE;
    PutLe32(header + kFileCount, w->records);
    PutLe32(header + kTarget + targetLength, static_cast<uint32_t>(packedSize));
    PutLe32(header + kTarget + targetLength + 4, static_cast<uint32_t>(tableOffset));
    if (!PlatformSeek(w->out, 0) || !PlatformWrite(w->out, header, headerSize) ||
        !PlatformFlush(w->out))
        return GRF_ERROR_WRITE;
    w->out = nullptr;
    if (!PlatformFinishNewFile(w->output))
        return PlatformPathExists(outputPath) ? GRF_ERROR_NOT_FOUND : GRF_ERROR_WRITE;
    return GRF_OK;
}

bool IsArchive(const GrfArchive* archive) {
    return archive && archive != GRF_NO_ARCHIVE;
}

}  // namespace

extern "C" int32_t GrfWritePatch(GrfArchive* archive, const wchar_t* outputPath, uint8_t mergeMode,
                                 const char* target, uint32_t flags, GrfProgressCallback progress) {
    if (!IsArchive(archive)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 1;
    }
    PatchWrite w;
    w.archive = archive;
    w.withIntegrity = (flags & GRF_PATCH_WITH_INTEGRITY) != 0;
    uint32_t code = RunWrite(&w, outputPath, mergeMode, target ? target : "", progress);
    // A failed or stopped write leaves nothing: the output never had its
    // name, and the temporary file goes.
    PlatformEndNewFile(w.output);
    PlatformFree(w.table.data);
    PlatformFree(w.integrity.data);
    DeflateAheadEnd(w.ahead);
    PlatformFree(w.jobs);
    PlatformFree(w.packed.data);
    if (code != GRF_OK) {
        GrfLastError = code;
        return 1;
    }
    GrfLastError = GRF_OK;
    return 0;
}

extern "C" uint32_t GrfAddRemoval(GrfArchive* archive, const char* name) {
    if (!IsArchive(archive)) return GRF_ERROR_HANDLE;
    size_t length = name ? strnlen(name, GRF_NAME_SIZE) : 0;
    if (length == 0 || length > GRF_NAME_MAX) return GRF_ERROR_NOT_FOUND;
    if (!ReserveEntries(archive, 1)) return GRF_ERROR_MEMORY;
    // Made whole first and copied in: the name goes into a record of known
    // size, which no optimiser takes for a write past the table.
    GrfEntry record = {};
    memcpy(record.name, name, length);
    record.cycle = -1;
    record.state = GRF_ENTRY_NEW | GRF_ENTRY_REMOVAL;
    GrfEntry* slot = &archive->entries[archive->count];
    *slot = record;
    if (!NameIndexAdd(archive, archive->count)) {
        memset(slot, 0, sizeof *slot);
        return GRF_ERROR_MEMORY;
    }
    ++archive->count;
    archive->entriesSize += static_cast<uint32_t>(sizeof(GrfEntry));
    return GRF_OK;
}
