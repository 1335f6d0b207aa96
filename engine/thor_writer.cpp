// thor_writer.cpp -- writing the table as a new patch file (THOR, table
// layout): the header, each file's content deflated as its own zlib stream,
// an optional integrity list, then the table; under a temporary name that
// becomes the output's only when the file is complete and on disk.
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "le_bytes.h"
#include "platform.h"
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
    wchar_t* temporary = nullptr;  // the output's name until it is complete
    uint64_t position = 0;
    uint32_t records = 0;
    Text table;
    Text integrity;
    bool withIntegrity = false;
    Block content;
    Block packed;
};

bool Write(PatchWrite* w, const void* bytes, uint64_t size) {
    if (w->position + size > kMaxOffset || size > 0xFFFFFFFFu) return false;
    if (size && !PlatformWrite(w->out, bytes, static_cast<uint32_t>(size))) return false;
    w->position += size;
    return true;
}

// Reads a local-file record's file whole into w->content.
uint32_t ReadLocal(PatchWrite* w, uint32_t index, uint64_t* size) {
    wchar_t buffer[260 + GRF_NAME_SIZE + 1];
    const wchar_t* path = LocalPath(w->archive, index, buffer, sizeof buffer / sizeof buffer[0]);
    PlatformFile* file = path ? PlatformOpenRead(path) : nullptr;
    if (!file) return GRF_ERROR_NOT_FOUND;
    uint64_t length = PlatformFileSize(file);
    uint32_t got = 0;
    uint32_t code = GRF_OK;
    if (length > kMaxLocalFile)
        code = GRF_ERROR_READ;
    else if (!Reserve(&w->content, length + 1))
        code = GRF_ERROR_MEMORY;
    else if (!PlatformRead(file, w->content.data, static_cast<uint32_t>(length), &got) ||
             got != length)
        code = GRF_ERROR_READ;
    PlatformClose(file);
    *size = length;
    return code;
}

// The content of record index: its owner's record read and inflated, or
// its local file. *data is valid until the next record.
uint32_t ContentOf(PatchWrite* w, uint32_t index, const uint8_t** data, uint64_t* size,
                   uint8_t** owned) {
    *owned = nullptr;
    const GrfEntry& entry = w->archive->entries[index];
    if ((entry.state & ENTRY_ON_DISK) && !(entry.state & ENTRY_IN_ARCHIVE)) {
        uint32_t code = ReadLocal(w, index, size);
        *data = w->content.data;
        return code;
    }
    uint32_t realSize = 0;
    *owned = GrfReadRecord(w->archive, index, &realSize);
    if (!*owned)
        return GrfLastError == GRF_ERROR_NOT_FOUND ? uint32_t{GRF_ERROR_NOT_ARCHIVE} : GrfLastError;
    *data = *owned;
    *size = realSize;
    return GRF_OK;
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

// Deflates content as one zlib stream (none for an empty file), writes it
// zero-filled to a multiple of 8, and lists it in the table.
uint32_t WriteFile(PatchWrite* w, const char* name, const uint8_t* content, uint64_t size) {
    if (size > kMaxSize) return GRF_ERROR_WRITE;
    uLongf packedSize = 0;
    if (size) {
        uLong bound = compressBound(static_cast<uLong>(size));
        if (!Reserve(&w->packed, uint64_t{bound} + 8)) return GRF_ERROR_MEMORY;
        packedSize = bound;
        if (compress2(w->packed.data, &packedSize, content, static_cast<uLong>(size),
                      static_cast<int>(GrfRepackLevel)) != Z_OK)
            return GRF_ERROR_MEMORY;
    }
    if (packedSize > kMaxSize) return GRF_ERROR_WRITE;
    uint64_t offset = w->position;
    uint32_t padded = GrfAlign8(static_cast<uint32_t>(packedSize));
    if (size) memset(w->packed.data + packedSize, 0, padded - packedSize);
    if (!Write(w, w->packed.data, padded)) return GRF_ERROR_WRITE;
    if (!AddTableRecord(w, name, false, static_cast<uint32_t>(offset),
                        static_cast<uint32_t>(packedSize), static_cast<uint32_t>(size)))
        return GRF_ERROR_MEMORY;
    if (!w->withIntegrity) return GRF_OK;
    char line[GRF_NAME_SIZE + 16];
    uint32_t crc = static_cast<uint32_t>(crc32(0, content, 0));
    for (uint64_t done = 0; done < size;) {
        uInt piece = size - done > 0x40000000u ? 0x40000000u : static_cast<uInt>(size - done);
        crc = static_cast<uint32_t>(crc32(crc, content + done, piece));
        done += piece;
    }
    static const char kHex[] = "0123456789abcdef";
    size_t length = NameLength(name);
    memcpy(line, name, length);
    memcpy(line + length, "=0x", 3);
    for (int digit = 0; digit < 8; ++digit)
        line[length + 3 + digit] = kHex[(crc >> (28 - 4 * digit)) & 15];
    memcpy(line + length + 11, "\r\n", 2);
    return AppendText(&w->integrity, line, length + 13) ? GRF_OK : GRF_ERROR_MEMORY;
}

bool IsIntegrityName(const char* name) {
    return strcmp(name, kIntegrityName) == 0;
}

uint32_t DataPass(PatchWrite* w, GrfProgressCallback progress) {
    GrfArchive* archive = w->archive;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (entry.state & ENTRY_DELETED) continue;
        if (progress && progress(&archive->entries[i], i, archive->count) != 0)
            return GRF_ERROR_CANCELLED;
        // A new list replaces one the table holds.
        if (w->withIntegrity && IsIntegrityName(entry.name)) continue;
        if (entry.state & ENTRY_REMOVAL) {
            if (!AddTableRecord(w, entry.name, true, 0, 0, 0)) return GRF_ERROR_MEMORY;
            continue;
        }
        const uint8_t* data = nullptr;
        uint64_t size = 0;
        uint8_t* owned = nullptr;
        uint32_t code = ContentOf(w, i, &data, &size, &owned);
        if (code == GRF_OK) code = WriteFile(w, entry.name, data, size);
        PlatformFree(owned);
        if (code != GRF_OK) return code;
    }
    if (!w->withIntegrity) return GRF_OK;
    Text list = w->integrity;
    w->withIntegrity = false;  // the list does not list itself
    uint32_t code = WriteFile(w, kIntegrityName, list.data, list.used);
    w->withIntegrity = true;
    return code;
}

// What can be known before writing: names a table record can hold (the
// table's length byte, never empty) and a target name that fits its byte.
uint32_t CheckTable(const GrfArchive* archive, const char* target) {
    if (strlen(target) > 255) return GRF_ERROR_WRITE;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (!(entry.state & ENTRY_DELETED) && entry.name[0] == '\0') return GRF_ERROR_WRITE;
    }
    return GRF_OK;
}

uint32_t RunWrite(PatchWrite* w, const wchar_t* outputPath, uint8_t mergeMode, const char* target,
                  GrfProgressCallback progress) {
    if (!outputPath || PlatformPathExists(outputPath)) return GRF_ERROR_NOT_FOUND;
    uint32_t code = CheckTable(w->archive, target);
    if (code != GRF_OK) return code;
    size_t room = wcslen(outputPath) + 32;
    w->temporary = static_cast<wchar_t*>(PlatformAlloc(room * sizeof(wchar_t)));
    if (!w->temporary) return GRF_ERROR_MEMORY;
    w->out = PlatformCreateTemporary(outputPath, w->temporary, room);
    if (!w->out) return GRF_ERROR_NOT_FOUND;

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
    PlatformClose(w->out);
    w->out = nullptr;
    if (!PlatformRenameNew(w->temporary, outputPath))
        return PlatformPathExists(outputPath) ? GRF_ERROR_NOT_FOUND : GRF_ERROR_WRITE;
    w->temporary[0] = L'\0';
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
    PlatformClose(w.out);
    if (w.temporary && w.temporary[0]) PlatformDeleteFile(w.temporary);
    PlatformFree(w.temporary);
    PlatformFree(w.table.data);
    PlatformFree(w.integrity.data);
    PlatformFree(w.content.data);
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
    GrfEntry* slot = &archive->entries[archive->count];
    memset(slot, 0, sizeof *slot);
    memcpy(slot->name, name, length);
    slot->cycle = -1;
    slot->state = ENTRY_NEW | ENTRY_REMOVAL;
    if (!NameIndexAdd(archive, archive->count)) {
        memset(slot, 0, sizeof *slot);
        return GRF_ERROR_MEMORY;
    }
    ++archive->count;
    archive->entriesSize += static_cast<uint32_t>(sizeof(GrfEntry));
    return GRF_OK;
}
