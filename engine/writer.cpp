// writer.cpp -- writing the table as a new archive file: the header, each
// record's data (copied as stored, converted between cipher families, or a
// local file read and deflated), the directory in any of the three layouts,
// and the final header.
#include <libdeflate.h>
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "commit.h"
#include "deflate_ahead.h"
#include "grf_format.h"
#include "keyed.h"
#include "le_bytes.h"
#include "platform.h"
#include "platform_threads.h"
#include "stored_method.h"
#include "writer_internal.h"

// The engine-wide repack settings and the base folder of local-file records.
uint32_t GrfRepackLevel = 3;
uint32_t GrfRepackVersion = 0x103;
wchar_t GrfLocalBaseDir[260] = {};
uint32_t GrfRepackThreads = 0;

namespace {

using namespace grf;

constexpr uint32_t kOutputBufferSize = 1 << 20;
// Stored offsets count from kOffsetBase: 32-bit ones before 0x300.
constexpr uint64_t kMaxPosition32 = uint64_t{0xFFFFFFFFu} + kOffsetBase;
constexpr uint64_t kMaxPosition64 = UINT64_MAX;

// One generator for the whole process, started from state 1 and never
// reseeded, so each run repeats the same sequence of fillers and seeds.
uint32_t g_randomState = 1;

uint32_t NextRandom() {
    g_randomState = g_randomState * 214013u + 2531011u;
    return (g_randomState >> 16) & 0x7FFF;
}

// A scratch block reused from record to record; it only grows, so memory
// follows the largest record, never the archive.
struct Scratch {
    uint8_t* data = nullptr;
    size_t size = 0;
};

// Room for a deflated table of `size` bytes, whichever deflater a write
// uses. A table holds at most 29.8 million records of at most 129 bytes, so
// its size and its bound fit zlib's 32-bit lengths.
size_t TableBound(uint64_t size) {
    size_t zlibBound = compressBound(static_cast<uLong>(size));
    size_t quickBound = libdeflate_zlib_compress_bound(nullptr, static_cast<size_t>(size));
    return zlibBound > quickBound ? zlibBound : quickBound;
}

bool Reserve(Scratch* scratch, uint64_t size) {
    if (scratch->data && size <= scratch->size) return true;
    if (size > SIZE_MAX / 2) return false;
    size_t grown = size ? static_cast<size_t>(size) : 1;
    auto* data = static_cast<uint8_t*>(PlatformAlloc(grown));
    if (!data) return false;
    PlatformFree(scratch->data);
    scratch->data = data;
    scratch->size = grown;
    return true;
}

// The output file with a write buffer: small records and directory records
// go out in large writes.
struct Output {
    PlatformFile* file = nullptr;
    uint8_t* buffer = nullptr;
    uint32_t used = 0;
    uint64_t position = 0;
};

bool Flush(Output* out) {
    bool ok = out->used == 0 || PlatformWrite(out->file, out->buffer, out->used);
    out->used = 0;
    return ok;
}

bool Put(Output* out, const void* bytes, uint32_t size) {
    out->position += size;
    if (size >= kOutputBufferSize) return Flush(out) && PlatformWrite(out->file, bytes, size);
    if (kOutputBufferSize - out->used < size && !Flush(out)) return false;
    memcpy(out->buffer + out->used, bytes, size);
    out->used += size;
    return true;
}

// The file of the owner whose records are being copied, kept open while
// consecutive records come from it.
struct Source {
    const GrfArchive* owner = nullptr;
    PlatformFile* file = nullptr;
    uint64_t size = 0;
};

// Opens owner's file unless it is open already: GRF_OK, GRF_ERROR_CHANGED
// when it is no longer the file the owner was opened from, and
// GRF_ERROR_NOT_ARCHIVE when it does not open.
uint32_t OpenSource(Source* source, const GrfArchive* owner) {
    if (source->file && source->owner == owner) return GRF_OK;
    PlatformClose(source->file);
    source->file = nullptr;
    source->owner = nullptr;
    if (!owner || owner == GRF_NO_ARCHIVE) return GRF_ERROR_NOT_ARCHIVE;
    uint32_t code = OpenArchiveFile(owner, &source->file);
    if (code != GRF_OK) return code == GRF_ERROR_CHANGED ? code : uint32_t{GRF_ERROR_NOT_ARCHIVE};
    source->owner = owner;
    source->size = PlatformFileSize(source->file);
    return GRF_OK;
}

// A patch's removal record is no file either.
bool IsDeleted(const GrfEntry& entry) {
    return (entry.state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL)) != 0;
}

bool IsLocal(const GrfEntry& entry) {
    return (entry.state & GRF_ENTRY_ON_DISK) && !(entry.state & GRF_ENTRY_IN_ARCHIVE);
}

bool IsForeign(const GrfEntry& entry) {
    return !IsLocal(entry) && entry.cycle == GRF_CYCLE_FOREIGN;
}

// The cycle an archive record has in the target's family: 0x1xx enciphers
// every record by name, 0x2xx writes every record plain.
int32_t TargetCycle(const GrfEntry& entry, bool v1Target) {
    return v1Target ? GrfCycleFromName(entry.name, entry.compressedSize) : -1;
}

// The bytes the writer stores for an archive record: as stored, or in
// whole 8-byte blocks when it enciphers them anew.
uint64_t StoredBytesOf(const GrfEntry& entry, bool v1Target) {
    int32_t targetCycle = TargetCycle(entry, v1Target);
    if (entry.cycle == targetCycle || targetCycle < 0) return entry.alignedSize;
    return (uint64_t{entry.alignedSize} + kCipherBlock - 1) / kCipherBlock * kCipherBlock;
}

struct Repack {
    GrfArchive* archive = nullptr;
    uint32_t version = 0;
    bool v1Target = false;
    bool v3Target = false;
    uint64_t maxPosition = kMaxPosition32;
    bool keepOwn = false;  // a save: records in the archive's file stay
    uint32_t count = 0;
    Output out;
    Source source;
    Scratch stored;
    Scratch packed;
    Placed* placed = nullptr;
    wchar_t** localPaths = nullptr;  // local files to deflate, in table order
    uint32_t localCount = 0;
    uint32_t localTaken = 0;
    DeflateAhead* ahead = nullptr;  // workers deflating them, when several
};

void PutHeaderFields(uint8_t* header, uint32_t dirOffset, uint32_t seed, uint32_t countField,
                     uint32_t version) {
    memset(header, 0, GRF_HEADER_SIZE);
    memcpy(header, kMagic, sizeof kMagic);  // the text and its zero byte
    for (uint8_t key = 1; key <= kKeySize; ++key) header[kHeaderKey + key - 1] = key;
    PutLe32(header + kHeaderDirOffset, dirOffset);
    PutLe32(header + kHeaderSeed, seed);
    PutLe32(header + kHeaderCount, countField);
    PutLe32(header + kHeaderVersion, version);
}

// 0x300: the 64-bit directory offset over the seed, and the plain count.
void PutV3HeaderFields(uint8_t* header, uint64_t dirOffset, uint32_t count) {
    PutHeaderFields(header, 0, 0, count, kVersion300);
    PutLe64(header + kHeaderDirOffset, dirOffset);
}

// Keys an archive record's deciphered bytes (data, its alignedSize) with the
// archive's write key, when it has one: records keyed with that same key
// stay as they are, records keyed with another key set on their owner are
// decrypted first, records whose owner has no key stay keyed as stored.
// Empty records and records stored uncompressed stay plain: readers take
// the latter's bytes for the content.
uint32_t KeyRecord(const Repack* r, const GrfEntry& entry, uint8_t* data) {
    const uint8_t* writeKey = WriteKeyOf(r->archive);
    if (!writeKey || IsForeign(entry)) return GRF_OK;
    if (r->v1Target) return GRF_ERROR_METHOD;
    if (entry.realSize == 0 || entry.compressedSize == entry.realSize ||
        entry.compressedSize > entry.alignedSize)
        return GRF_OK;
    bool foreign = MethodOf(entry, data, entry.compressedSize) == kMethodForeign;
    if (foreign && !MayBeKeyed(entry)) return GRF_OK;  // another method: as stored
    const uint8_t* readKey = MayBeKeyed(entry) ? ReadKeyOf(entry) : nullptr;
    if (!readKey || memcmp(readKey, writeKey, GRF_KEY_SIZE) == 0) {
        if (foreign) return GRF_OK;
    } else if (foreign || !DecodesAsStored(entry, data)) {
        // Keyed bytes may start like zlib or LZMA by chance: only decoding
        // tells them from plain ones, which stay as they are when damaged.
        GrfKeyEntryData(readKey, entry.realSize, data, entry.alignedSize);
        if (!DecodesAsStored(entry, data)) {
            if (foreign) return GRF_ERROR_PASSWORD;
            GrfKeyEntryData(readKey, entry.realSize, data, entry.alignedSize);
        }
    }
    GrfKeyEntryData(writeKey, entry.realSize, data, entry.alignedSize);
    return GRF_OK;
}

// Copies an archive record's own stored bytes (its owner's file at its own
// position, never looked up by name: two records may share a name).
// Deciphers with the record's cycle and enciphers with the target's when
// they differ; an enciphered record is written in whole 8-byte blocks.
uint32_t CopyArchiveRecord(Repack* r, const GrfEntry& entry, Placed* placed) {
    uint32_t opened = OpenSource(&r->source, entry.owner);
    if (opened != GRF_OK) return opened;
    uint32_t size = entry.alignedSize;
    if (entry.position > r->source.size || r->source.size - entry.position < size)
        return GRF_ERROR_NOT_ARCHIVE;
    int32_t targetCycle = TargetCycle(entry, r->v1Target);
    bool convert = entry.cycle != targetCycle;
    uint64_t blocks = (uint64_t{size} + kCipherBlock - 1) / kCipherBlock * kCipherBlock;
    if (!Reserve(&r->stored, blocks)) return GRF_ERROR_MEMORY;
    uint8_t* data = r->stored.data;
    uint32_t got = 0;
    if (!PlatformSeek(r->source.file, entry.position) ||
        !PlatformRead(r->source.file, data, size, &got) || got != size)
        return GRF_ERROR_NOT_ARCHIVE;
    memset(data + size, 0, static_cast<size_t>(blocks - size));
    if (convert && entry.cycle >= 0) {
        GrfCipherEntryData(data, size, entry.cycle == 0, entry.cycle, 0);
        memset(data + size, 0, static_cast<size_t>(blocks - size));
    }
    // Bytes of another compression or encryption would be enciphered on top
    // by a 0x1xx target, which other readers would not undo: refused. Sizes
    // that reach past the stored bytes are damage, which reads say as such,
    // not another method: such records are copied as they always were.
    if (convert && targetCycle >= 0 && entry.realSize != 0 && entry.compressedSize <= size &&
        MethodOf(entry, data, entry.compressedSize) == kMethodForeign)
        return GRF_ERROR_METHOD;
    uint32_t keyedCode = KeyRecord(r, entry, data);
    if (keyedCode != GRF_OK) return keyedCode;
    uint64_t written = StoredBytesOf(entry, r->v1Target);
    if (written > 0xFFFFFFFFu) return GRF_ERROR_NOT_ARCHIVE;
    if (convert && targetCycle >= 0)
        GrfCipherEntryData(data, static_cast<uint32_t>(written), targetCycle == 0, targetCycle, 1);
    if (r->out.position + written > r->maxPosition) return GRF_ERROR_WRITE;
    placed->position = r->out.position;
    placed->compressedSize = entry.compressedSize;
    placed->alignedSize = static_cast<uint32_t>(written);
    placed->realSize = entry.realSize;
    // Copied as stored, so it keeps the type that says how.
    placed->type = IsForeign(entry) ? entry.type : kTypeFile;
    return Put(&r->out, data, placed->alignedSize) ? GRF_OK : GRF_ERROR_WRITE;
}

}  // namespace

// The local file of record index: the path kept when it was added, or, for
// a record made without one, GrfLocalBaseDir followed by the wide name less
// its first four characters ("data", which stands for the base), built in
// buffer.
const wchar_t* LocalPath(const GrfArchive* archive, uint32_t index, wchar_t* buffer,
                         size_t capacity) {
    if (const wchar_t* kept = LocalFileOf(archive, index)) return kept;
    wchar_t wide[GRF_NAME_SIZE + 1];
    if (!PlatformCp949ToWideInto(archive->entries[index].name, wide, GRF_NAME_SIZE + 1))
        return nullptr;
    size_t skip = wcslen(wide) < 4 ? wcslen(wide) : 4;
    size_t base = wcsnlen(GrfLocalBaseDir, 260);
    if (base + wcslen(wide + skip) >= capacity) return nullptr;
    wmemcpy(buffer, GrfLocalBaseDir, base);
    wcscpy(buffer + base, wide + skip);
    return buffer;
}

namespace {

// Writes a deflated local file zero-filled to a multiple of 8, enciphered
// by name for a 0x1xx target.
uint32_t PackLocalFile(Repack* r, const GrfEntry& entry, DeflatedFile* file, Placed* placed) {
    if (file->code != GRF_OK) return file->code;
    uint32_t compressed = file->compressedSize;
    uint32_t alignedSize = GrfAlign8(compressed);
    memset(file->data + compressed, 0, alignedSize - compressed);
    if (r->v1Target) {
        if (WriteKeyOf(r->archive)) return GRF_ERROR_METHOD;
        int32_t cycle = GrfCycleFromName(entry.name, compressed);
        GrfCipherEntryData(file->data, compressed, cycle == 0, cycle, 1);
    }
    if (const uint8_t* key = WriteKeyOf(r->archive); key && file->realSize != 0)
        GrfKeyEntryData(key, file->realSize, file->data, alignedSize);
    if (r->out.position + alignedSize > r->maxPosition) return GRF_ERROR_WRITE;
    placed->position = r->out.position;
    placed->compressedSize = compressed;
    placed->alignedSize = alignedSize;
    placed->realSize = file->realSize;
    placed->type = kTypeFile;
    return Put(&r->out, file->data, alignedSize) ? GRF_OK : GRF_ERROR_WRITE;
}

// The local files of the records the data pass writes, in table order, as
// copies (the legacy ones' paths are built in a buffer); null for a record
// whose path cannot be made. False when out of memory.
bool CollectLocalPaths(Repack* r) {
    for (uint32_t i = 0; i < r->count; ++i) {
        const GrfEntry& entry = r->archive->entries[i];
        if (IsDeleted(entry) || !IsLocal(entry)) continue;
        if (r->localCount % 64 == 0) {
            size_t size = r->localCount * sizeof(wchar_t*);
            void* grown = PlatformGrow(r->localPaths, size, size + 64 * sizeof(wchar_t*));
            if (!grown) return false;
            r->localPaths = static_cast<wchar_t**>(grown);
        }
        wchar_t buffer[260 + GRF_NAME_SIZE + 1];
        const wchar_t* path = LocalPath(r->archive, i, buffer, sizeof buffer / sizeof buffer[0]);
        wchar_t* copy = nullptr;
        if (path) {
            size_t length = wcslen(path);
            copy = static_cast<wchar_t*>(PlatformAlloc((length + 1) * sizeof(wchar_t)));
            if (!copy) return false;
            wmemcpy(copy, path, length + 1);
        }
        r->localPaths[r->localCount++] = copy;
    }
    return true;
}

// Local files are deflated ahead on every core when there are several;
// each is its own stream, so the output is the same with any number.
uint32_t StartDeflating(Repack* r) {
    if (!CollectLocalPaths(r)) return GRF_ERROR_MEMORY;
    uint32_t threads = GrfRepackThreads ? GrfRepackThreads : PlatformCoreCount();
    r->ahead =
        DeflateAheadStart(r->localPaths, r->localCount, static_cast<int>(GrfRepackLevel), threads);
    return GRF_OK;
}

// The next local file, deflated.
DeflatedFile NextLocalFile(Repack* r) {
    uint32_t job = r->localTaken++;
    if (r->ahead) return DeflateAheadTake(r->ahead, job);
    return DeflateLocalFile(r->localPaths[job], static_cast<int>(GrfRepackLevel));
}

// A record a save keeps: its own place and fields, its own type (its bytes
// stay enciphered as they are).
void KeepInPlace(const GrfEntry& entry, Placed* placed) {
    placed->position = entry.position;
    placed->compressedSize = entry.compressedSize;
    placed->alignedSize = entry.alignedSize;
    placed->realSize = entry.realSize;
    placed->type = entry.type;
}

uint32_t DataPass(Repack* r, GrfProgressCallback progress) {
    uint32_t code = StartDeflating(r);
    // A save counts only the records it writes, so its progress runs over
    // the work, not the table.
    uint32_t total = r->count, done = 0;
    if (r->keepOwn) {
        total = 0;
        for (uint32_t i = 0; i < r->count; ++i) {
            const GrfEntry& entry = r->archive->entries[i];
            if (!IsDeleted(entry) && !IsKeptInPlace(r->archive, entry)) ++total;
        }
    }
    for (uint32_t i = 0; code == GRF_OK && i < r->count; ++i) {
        GrfEntry& entry = r->archive->entries[i];
        if (IsDeleted(entry)) continue;
        if (r->keepOwn && IsKeptInPlace(r->archive, entry)) {
            KeepInPlace(entry, &r->placed[i]);
            continue;
        }
        uint32_t index = r->keepOwn ? done++ : i;
        if (progress && progress(&entry, index, total) != 0) return GRF_ERROR_CANCELLED;
        if (IsLocal(entry)) {
            DeflatedFile file = NextLocalFile(r);
            code = PackLocalFile(r, entry, &file, &r->placed[i]);
            DeflatedFileFree(&file);
        } else {
            code = CopyArchiveRecord(r, entry, &r->placed[i]);
        }
    }
    return code;
}

uint32_t WriteV1Directory(Repack* r, uint32_t* written) {
    uint8_t record[kV1NameStart + GRF_NAME_SIZE + kCipherBlock + kV1Tail];
    for (uint32_t i = 0; i < r->count; ++i) {
        const GrfEntry& entry = r->archive->entries[i];
        if (IsDeleted(entry)) continue;
        const Placed& p = r->placed[i];
        uint32_t length = static_cast<uint32_t>(NameLength(entry.name));
        uint32_t padded = GrfAlign8(length + 1);
        memset(record, 0, sizeof record);
        PutLe32(record, padded + kV1NameStart);
        PutLe16(record + 4, static_cast<uint16_t>(NextRandom() % 65535));
        memcpy(record + kV1NameStart, entry.name, length);
        GrfCipherName(record + kV1NameStart, padded, 0);
        uint8_t* tail = record + kV1NameStart + padded;
        PutLe32(tail + kV1TailCompressed, p.compressedSize + p.realSize + kV1CompressedBias);
        PutLe32(tail + kV1TailAligned, p.alignedSize + kV1AlignedBias);
        PutLe32(tail + kV1TailReal, p.realSize);
        tail[kV1TailType] = p.type;
        PutLe32(tail + kV1TailOffset, static_cast<uint32_t>(p.position - kOffsetBase));
        if (!Put(&r->out, record, kV1NameStart + padded + kV1Tail)) return GRF_ERROR_WRITE;
        ++*written;
    }
    return GRF_OK;
}

// A save's directory at libdeflate's level 6: on 140,000 records it comes
// out no larger than zlib's level 9 in a tenth of the time, and a save
// rewrites the whole directory for every change. A repack keeps zlib's
// level 9, whose output is relied on byte for byte. Both are zlib streams.
constexpr int kSaveTableLevel = 6;

bool DeflateTable(const uint8_t* table, size_t size, uint8_t* out, size_t room, bool forSave,
                  size_t* written) {
    if (!forSave) {
        uLongf length = static_cast<uLongf>(room);
        if (compress2(out, &length, table, static_cast<uLong>(size), 9) != Z_OK) return false;
        *written = length;
        return true;
    }
    libdeflate_compressor* c = libdeflate_alloc_compressor(kSaveTableLevel);
    if (!c) return false;
    *written = libdeflate_zlib_compress(c, table, size, out, room);
    libdeflate_free_compressor(c);
    return *written != 0;
}

// The 0x2xx or 0x300 directory: the table of records, deflated, after its
// sizes (0x300: after a reserved zero too).
uint32_t WriteTableDirectory(Repack* r, uint32_t* written) {
    uint32_t tail = r->v3Target ? kV3Tail : kV2Tail;
    uint64_t tableSize = 0;
    for (uint32_t i = 0; i < r->count; ++i)
        if (!IsDeleted(r->archive->entries[i]))
            tableSize += NameLength(r->archive->entries[i].name) + 1 + tail;
    if (tableSize > 0xFFFFFFFFu) return GRF_ERROR_WRITE;
    // The table goes into the scratch blocks, which are free by now.
    size_t bound = TableBound(tableSize);
    if (!Reserve(&r->stored, tableSize + 1) || !Reserve(&r->packed, uint64_t{bound} + 1))
        return GRF_ERROR_MEMORY;
    uint8_t* at = r->stored.data;
    for (uint32_t i = 0; i < r->count; ++i) {
        const GrfEntry& entry = r->archive->entries[i];
        if (IsDeleted(entry)) continue;
        const Placed& p = r->placed[i];
        size_t length = NameLength(entry.name);
        memcpy(at, entry.name, length);
        at[length] = 0;
        at += length + 1;
        PutLe32(at + kV2TailCompressed, p.compressedSize);
        PutLe32(at + kV2TailAligned, p.alignedSize);
        PutLe32(at + kV2TailReal, p.realSize);
        at[kV2TailType] = p.type;
        if (r->v3Target)
            PutLe64(at + kV2TailOffset, p.position - kOffsetBase);
        else
            PutLe32(at + kV2TailOffset, static_cast<uint32_t>(p.position - kOffsetBase));
        at += tail;
        ++*written;
    }
    size_t compressed = 0;
    if (!DeflateTable(r->stored.data, static_cast<size_t>(tableSize), r->packed.data, bound,
                      r->keepOwn, &compressed))
        return GRF_ERROR_MEMORY;
    uint8_t sizes[kV3Sizes] = {};
    uint8_t* packedField = r->v3Target ? sizes + kV3SizesPacked : sizes;
    PutLe32(packedField, static_cast<uint32_t>(compressed));
    PutLe32(packedField + 4, static_cast<uint32_t>(tableSize));
    if (!Put(&r->out, sizes, r->v3Target ? kV3Sizes : kV2Sizes) ||
        !Put(&r->out, r->packed.data, static_cast<uint32_t>(compressed)))
        return GRF_ERROR_WRITE;
    return GRF_OK;
}

// After the data pass: the directory, then everything still buffered goes
// to the system. Every failed write here is a failed write of the archive.
uint32_t WriteDirectory(Repack* r, TableWrite* w) {
    w->directoryStart = r->out.position;
    if (w->directoryStart > r->maxPosition) return GRF_ERROR_WRITE;
    uint32_t code =
        r->v1Target ? WriteV1Directory(r, &w->records) : WriteTableDirectory(r, &w->records);
    if (code != GRF_OK) return code;
    if (!Flush(&r->out)) return GRF_ERROR_WRITE;
    w->end = r->out.position;
    return GRF_OK;
}

// What can be known before writing: every record's name fits the target's
// layout (0x2xx and 0x300 end their table at an empty name), no record
// marked as stored in a way we do not read goes to a 0x1xx target, whose
// cipher would touch its bytes, and the stored bytes of archive records,
// whose sizes are known, leave room in the 4 GB that 32-bit offsets
// address. Local files are only known once deflated.
uint32_t CheckTable(const GrfArchive* archive, uint32_t version) {
    uint32_t code = CheckNames(archive, version);
    if (code != GRF_OK) return code;
    bool v1Target = (version >> 8) == kMajorV1;
    uint64_t known = GRF_HEADER_SIZE;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (IsDeleted(entry)) continue;
        if (v1Target && IsForeign(entry)) return GRF_ERROR_METHOD;
        if (!IsLocal(entry)) known += StoredBytesOf(entry, v1Target);
    }
    return known > PositionLimit(version) ? GRF_ERROR_WRITE : GRF_OK;
}

// The repack's output: a new file without its name until complete.
struct RepackFile {
    PlatformNewFile* output = nullptr;
    PlatformFile* file = nullptr;  // its data
};

// Writes the archive as a new file beside outputPath (platform.h: unnamed
// where it can be) and gives it that name only when it is complete and on
// disk.
uint32_t RunRepack(GrfArchive* archive, RepackFile* f, TableWrite* w, const wchar_t* outputPath,
                   GrfProgressCallback progress) {
    // Never overwrite or truncate: the output must be a new file.
    if (!outputPath || PlatformPathExists(outputPath)) return GRF_ERROR_NOT_FOUND;
    uint32_t code = CheckTable(archive, GrfRepackVersion);
    if (code != GRF_OK) return code;
    f->output = PlatformBeginNewFile(outputPath);
    if (!f->output) return OpenFailure();
    f->file = PlatformNewFileData(f->output);
    uint8_t header[GRF_HEADER_SIZE];
    PutHeaderFields(header, 0, 0, 0, 0);
    if (!PlatformWrite(f->file, header, GRF_HEADER_SIZE)) return GRF_ERROR_WRITE;
    w->archive = archive;
    w->version = GrfRepackVersion;
    w->file = f->file;
    w->start = GRF_HEADER_SIZE;
    code = WriteTable(w, progress);
    if (code != GRF_OK) return code;
    if ((GrfRepackVersion >> 8) == kMajorV3) {
        PutV3HeaderFields(header, w->directoryStart - kOffsetBase, w->records);
    } else {
        uint32_t seed = (GrfRepackVersion >> 8) == kMajorV1 ? NextRandom() : 0;
        PutHeaderFields(header, static_cast<uint32_t>(w->directoryStart - kOffsetBase), seed,
                        CountField(w->records, seed), GrfRepackVersion);
    }
    Commit commit;
    commit.file = f->file;
    code = CommitSwitch(&commit, 0, header, GRF_HEADER_SIZE);
    if (code != GRF_OK) return code;
    f->file = nullptr;
    if (!PlatformFinishNewFile(f->output))
        return PlatformPathExists(outputPath) ? GRF_ERROR_NOT_FOUND : GRF_ERROR_WRITE;
    return GRF_OK;
}

// The size of a local record's file now, or 0 when it does not open.
uint64_t LocalFileSize(const GrfArchive* archive, uint32_t index) {
    wchar_t buffer[260 + GRF_NAME_SIZE + 1];
    const wchar_t* path = LocalPath(archive, index, buffer, sizeof buffer / sizeof buffer[0]);
    if (!path) return 0;
    PlatformFile* file = PlatformOpenRead(path);
    uint64_t size = file ? PlatformFileSize(file) : 0;
    PlatformClose(file);
    return size;
}

}  // namespace

extern "C" uint32_t GrfAlign8(uint32_t size) {
    uint32_t rest = size % 8;
    return rest == 0 ? size : size + 8 - rest;
}

extern "C" void GrfSetCompressionLevel(uint32_t level) {
    if (level >= 2 && level <= 9) GrfRepackLevel = level;
}

extern "C" void GrfSetVersion(uint32_t version) {
    if ((version >= 0x101 && version <= 0x103) || version == 0x200 || version == 0x201 ||
        version == kVersion300)
        GrfRepackVersion = version;
}

extern "C" int32_t GrfRepack(GrfArchive* archive, const wchar_t* outputPath,
                             GrfProgressCallback progress) {
    if (archive == GRF_NO_ARCHIVE || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 1;
    }
    RepackFile f;
    TableWrite w;
    uint32_t code = RunRepack(archive, &f, &w, outputPath, progress);
    // A failed or stopped repack leaves nothing: the output never had its
    // name, and the temporary file goes.
    PlatformEndNewFile(f.output);
    PlatformFree(w.placed);
    if (code != GRF_OK) {
        GrfLastError = code;
        return 1;
    }
    return 0;
}

uint32_t WriteTable(TableWrite* w, GrfProgressCallback progress) {
    Repack r;
    r.archive = w->archive;
    r.version = w->version;
    r.v1Target = (w->version >> 8) == kMajorV1;
    r.v3Target = (w->version >> 8) == kMajorV3;
    r.maxPosition = PositionLimit(w->version);
    r.keepOwn = w->keepOwn;
    r.count = w->archive->count;
    r.out.file = w->file;
    r.out.position = w->start;
    r.out.buffer = static_cast<uint8_t*>(PlatformAlloc(kOutputBufferSize));
    w->placed = static_cast<Placed*>(PlatformAlloc(size_t{r.count} * sizeof(Placed) + 1));
    r.placed = w->placed;
    uint32_t code = GRF_OK;
    if (!r.out.buffer || !w->placed) code = GRF_ERROR_MEMORY;
    if (code == GRF_OK) code = DataPass(&r, progress);
    if (code == GRF_OK) code = WriteDirectory(&r, w);
    DeflateAheadEnd(r.ahead);
    for (uint32_t i = 0; i < r.localCount; ++i) PlatformFree(r.localPaths[i]);
    PlatformFree(r.localPaths);
    PlatformClose(r.source.file);
    PlatformFree(r.out.buffer);
    PlatformFree(r.stored.data);
    PlatformFree(r.packed.data);
    return code;
}

uint32_t CheckNames(const GrfArchive* archive, uint32_t version) {
    if ((version >> 8) == kMajorV1) return GRF_OK;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (!IsDeleted(entry) && entry.name[0] == '\0') return GRF_ERROR_WRITE;
    }
    return GRF_OK;
}

uint64_t TableBytes(const GrfArchive* archive, uint32_t version, bool keepOwn) {
    bool v1Target = (version >> 8) == kMajorV1;
    bool v3Target = (version >> 8) == kMajorV3;
    uint64_t total = 0;
    uint64_t table = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        const GrfEntry& entry = archive->entries[i];
        if (IsDeleted(entry)) continue;
        if (!keepOwn || !IsKeptInPlace(archive, entry))
            total += IsLocal(entry) ? LocalFileSize(archive, i) : StoredBytesOf(entry, v1Target);
        uint32_t length = static_cast<uint32_t>(NameLength(entry.name));
        if (v1Target)
            total += kV1NameStart + GrfAlign8(length + 1) + kV1Tail;
        else
            table += length + 1 + (v3Target ? kV3Tail : kV2Tail);
    }
    if (!v1Target) total += (v3Target ? kV3Sizes : kV2Sizes) + TableBound(table);
    return total;
}

uint64_t PositionLimit(uint32_t version) {
    return (version >> 8) == kMajorV3 ? kMaxPosition64 : kMaxPosition32;
}

bool IsKeptInPlace(const GrfArchive* archive, const GrfEntry& entry) {
    return entry.owner == archive && !IsLocal(entry);
}

extern "C" uint64_t GrfOutputBytes(const GrfArchive* archive, uint32_t version) {
    if (archive == GRF_NO_ARCHIVE || !archive) return 0;
    return GRF_HEADER_SIZE + TableBytes(archive, version, false);
}
