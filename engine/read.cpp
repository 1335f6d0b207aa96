// read.cpp -- finding entries by name, reading their stored bytes and their
// content (by name or by record), and the code page conversions.
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "file_lock.h"
#include "grf_format.h"
#include "inflate.h"
#include "keyed.h"
#include "platform.h"
#include "stored_method.h"

namespace {

// Buffers handed out are this much larger than their content: the cipher
// transforms whole 8-byte blocks past the stored bytes, and callers may
// rely on the zeros behind the content.
constexpr uint32_t kSlack = 1024;

bool IsNoArchive(const GrfArchive* archive) {
    return archive == GRF_NO_ARCHIVE;
}

GrfEntry* Lookup(const GrfArchive* archive, const char* name) {
    return archive->count ? NameIndexFind(archive, name) : nullptr;
}

// Reads of small entries go through a window this large, when they move
// forward through the file; larger entries, and reads in any other order,
// read just their own bytes, as they would without one.
constexpr uint32_t kWindowSize = 256 << 10;
constexpr uint32_t kWindowEntry = 32 << 10;

}  // namespace

bool WindowHolds(const ReadWindow& window, const GrfEntry& entry) {
    return window.size >= entry.alignedSize && entry.position >= window.start &&
           entry.position - window.start <= window.size - entry.alignedSize;
}

namespace {

// Copies entry's stored bytes out of window into buffer, first reading the
// window at the entry when it lies ahead of the last one read. False when
// the entry is not for the window (the caller reads it itself); else *read
// tells whether the bytes were read.
bool ReadThroughWindow(const GrfEntry& entry, PlatformFile* file, ReadWindow* window,
                       uint8_t* buffer, bool* read) {
    if (!window) return false;
    uint64_t position = entry.position;
    if (!WindowHolds(*window, entry)) {
        if (entry.alignedSize > kWindowEntry) return false;
        bool forward = position >= window->lastEnd && position - window->lastEnd <= kWindowSize;
        window->lastEnd = position + entry.alignedSize;
        if (!forward) return false;
        if (!window->bytes) window->bytes = static_cast<uint8_t*>(PlatformAlloc(kWindowSize));
        if (!window->bytes) return false;
        uint64_t left = entry.owner->stamp.size - position;  // StoredPlace: alignedSize or more
        uint32_t want = left < kWindowSize ? static_cast<uint32_t>(left) : kWindowSize;
        uint32_t got = 0;
        *read =
            PlatformReadAt(file, position, window->bytes, want, &got) && got >= entry.alignedSize;
        window->start = position;
        window->size = *read ? got : 0;
        if (!*read) return true;
    }
    window->lastEnd = position + entry.alignedSize;
    memcpy(buffer, window->bytes + (position - window->start), entry.alignedSize);
    *read = true;
    return true;
}

// Reads entry's alignedSize stored bytes from file, wherever it is
// positioned, through window when there is one, into a new zero-filled
// buffer of alignedSize + kSlack bytes.
uint32_t ReadStoredFrom(const GrfEntry& entry, PlatformFile* file, uint8_t** stored,
                        ReadWindow* window = nullptr) {
    *stored = nullptr;
    auto* buffer = static_cast<uint8_t*>(PlatformAlloc(size_t{entry.alignedSize} + kSlack));
    if (!buffer) return GRF_ERROR_MEMORY;
    bool read = false;
    if (!ReadThroughWindow(entry, file, window, buffer, &read)) {
        uint32_t got = 0;
        read = PlatformReadAt(file, entry.position, buffer, entry.alignedSize, &got) &&
               got == entry.alignedSize;
    }
    if (!read) {
        PlatformFree(buffer);
        return GRF_ERROR_READ;
    }
    *stored = buffer;
    return GRF_OK;
}

// ReadStoredFrom the file of entry's owner, opened for this read alone.
uint32_t ReadStored(const GrfEntry& entry, uint8_t** stored) {
    *stored = nullptr;
    PlatformFile* file = nullptr;
    uint32_t code = OpenStored(entry, &file);
    if (code != GRF_OK) return code;
    code = ReadStoredFrom(entry, file, stored);
    PlatformClose(file);
    return code;
}

// Whether the deciphered stored bytes may be decoded: GRF_OK with their
// method, or the code that refuses them before any room is taken for the
// content (a method we do not read, sizes no stream could give).
uint32_t CheckDecode(const GrfEntry& entry, const uint8_t* stored, StoredMethod* method) {
    *method = kMethodZlib;
    if (entry.realSize != 0) {
        uint32_t available =
            entry.compressedSize < entry.alignedSize ? entry.compressedSize : entry.alignedSize;
        *method = MethodOf(entry, stored, available);
    }
    if (*method == kMethodForeign) return GRF_ERROR_METHOD;
    bool storedPlain = entry.compressedSize == entry.realSize;
    uint64_t ratio = *method == kMethodLzma ? grf::kMaxLzmaRatio : grf::kMaxInflateRatio;
    if (!storedPlain && entry.realSize > entry.compressedSize * ratio) return GRF_ERROR_INFLATE;
    return GRF_OK;
}

// Decodes the deciphered stored bytes into buffer (realSize + kSlack bytes):
// inflated, decoded as LZMA, or taken as they stand, zeros behind the
// content. An entry of real size 0 is empty whatever is stored; stored
// bytes that do not inflate but are as long as the content are the content.
uint32_t DecodeInto(const GrfEntry& entry, const uint8_t* stored, StoredMethod method,
                    uint8_t* buffer, libdeflate_decompressor** inflater = nullptr) {
    bool storedPlain = entry.compressedSize == entry.realSize;
    uint32_t code = GRF_OK;
    if (entry.realSize == 0 || method == kMethodPlain) {
        memcpy(buffer, stored, entry.realSize);
    } else if (method == kMethodLzma) {
        code = LzmaDecodeEntry(stored, entry.compressedSize, buffer, entry.realSize);
    } else {
        size_t room = size_t{entry.realSize} + kSlack, inflated = 0;
        int z = InflateWhole(buffer, room, stored, entry.compressedSize, &inflated, inflater);
        if (z != Z_OK || inflated != entry.realSize) code = GRF_ERROR_INFLATE;
        if (code != GRF_OK && storedPlain) {
            memcpy(buffer, stored, entry.realSize);
            code = GRF_OK;
        }
    }
    if (code == GRF_OK) memset(buffer + entry.realSize, 0, kSlack);
    return code;
}

// Decodes the deciphered stored bytes into the buffer room() gives
// (realSize + kSlack bytes, asked for only once the bytes may be decoded).
// Keyed records (GrfIsKeyed) are decrypted in place with their owner's key
// first; while a key is set, bytes that start like zlib or LZMA by chance
// and do not decode are tried keyed too before they count as damaged.
template <typename Room>
uint32_t DecodeWithKey(const GrfEntry& entry, uint8_t* stored, Room room,
                       libdeflate_decompressor** inflater = nullptr) {
    StoredMethod method;
    uint32_t code = CheckDecode(entry, stored, &method);
    bool mayBeKeyed = MayBeKeyed(entry);
    const uint8_t* key = mayBeKeyed ? ReadKeyOf(entry) : nullptr;
    if (code == GRF_ERROR_METHOD && mayBeKeyed && !key) return GRF_ERROR_NEEDS_PASSWORD;
    if (code == GRF_OK) {
        uint8_t* buffer = room();
        if (!buffer) return GRF_ERROR_MEMORY;
        code = DecodeInto(entry, stored, method, buffer, inflater);
        if (code != GRF_ERROR_INFLATE || !key || method == kMethodPlain) return code;
    } else if (!key || (code != GRF_ERROR_METHOD && code != GRF_ERROR_INFLATE)) {
        return code;
    }
    uint32_t failed = code == GRF_ERROR_INFLATE ? code : uint32_t{GRF_ERROR_PASSWORD};
    GrfKeyEntryData(key, entry.realSize, stored, entry.alignedSize);
    if (CheckDecode(entry, stored, &method) != GRF_OK) return failed;
    uint8_t* buffer = room();
    if (!buffer) return GRF_ERROR_MEMORY;
    code = DecodeInto(entry, stored, method, buffer, inflater);
    return code == GRF_OK || code == GRF_ERROR_MEMORY ? code : failed;
}

}  // namespace

bool DecodesAsStored(const GrfEntry& entry, const uint8_t* stored) {
    StoredMethod method;
    if (CheckDecode(entry, stored, &method) != GRF_OK) return false;
    auto* buffer = static_cast<uint8_t*>(PlatformAlloc(size_t{entry.realSize} + kSlack));
    bool decoded = buffer && DecodeInto(entry, stored, method, buffer) == GRF_OK;
    PlatformFree(buffer);
    return decoded;
}

namespace {

// DecodeWithKey into a new buffer of realSize + kSlack bytes.
uint32_t Decode(const GrfEntry& entry, uint8_t* stored, uint8_t** content,
                libdeflate_decompressor** inflater) {
    *content = nullptr;
    uint8_t* buffer = nullptr;
    uint32_t code = DecodeWithKey(
        entry, stored,
        [&] {
            if (!buffer)
                buffer = static_cast<uint8_t*>(PlatformAlloc(size_t{entry.realSize} + kSlack));
            return buffer;
        },
        inflater);
    if (code != GRF_OK) {
        PlatformFree(buffer);
        return code;
    }
    *content = buffer;
    return GRF_OK;
}

// Deciphers and decodes the stored bytes of entry (see GrfReadEntry).
uint32_t ContentOf(const GrfEntry& entry, uint8_t* stored, uint8_t** content,
                   libdeflate_decompressor** inflater = nullptr) {
    // A stream that would run past the bytes read.
    if (entry.compressedSize > entry.alignedSize) return GRF_ERROR_READ;
    if (entry.cycle >= 0)
        GrfCipherEntryData(stored, entry.alignedSize, entry.cycle == 0, entry.cycle, 0);
    return Decode(entry, stored, content, inflater);
}

// Reads, deciphers and decodes entry's content (see GrfReadEntry). An entry
// marked as stored in a way we do not read is refused before its bytes are.
uint32_t ReadContent(const GrfEntry& entry, uint8_t** content) {
    *content = nullptr;
    if (entry.cycle == GRF_CYCLE_FOREIGN && entry.realSize != 0) return GRF_ERROR_METHOD;
    uint8_t* stored = nullptr;
    uint32_t code = ReadStored(entry, &stored);
    if (code == GRF_OK) code = ContentOf(entry, stored, content);
    PlatformFree(stored);
    return code;
}

}  // namespace

void FreeReadWindow(ReadWindow* window) {
    PlatformFree(window->bytes);
    InflateRelease(&window->inflater);
    *window = ReadWindow();
}

uint32_t ReadContentFrom(const GrfEntry& entry, PlatformFile* file, uint8_t** content,
                         ReadWindow* window) {
    *content = nullptr;
    uint8_t* stored = nullptr;
    uint32_t code = ReadStoredFrom(entry, file, &stored, window);
    if (code == GRF_OK)
        code = ContentOf(entry, stored, content, window ? &window->inflater : nullptr);
    PlatformFree(stored);
    return code;
}

uint32_t StoredPlace(const GrfEntry& entry) {
    // A patch's removal record names a file to delete: it has no content.
    if (entry.state & GRF_ENTRY_REMOVAL) return GRF_ERROR_NOT_FOUND;
    // The file was found as it was when opened: its size is the stamp's.
    uint64_t size = entry.owner->stamp.size;
    if (entry.position > size || size - entry.position < entry.alignedSize)
        return GRF_ERROR_READ;  // the sizes reach beyond the file
    return GRF_OK;
}

uint32_t OpenStored(const GrfEntry& entry, PlatformFile** file) {
    *file = nullptr;
    if (!entry.owner || entry.owner == GRF_NO_ARCHIVE) return GRF_ERROR_NOT_FOUND;
    uint32_t code = OpenArchiveFile(entry.owner, file);
    if (code == GRF_OK) code = StoredPlace(entry);
    if (code != GRF_OK) {
        PlatformClose(*file);
        *file = nullptr;
    }
    return code;
}

extern "C" GrfEntry* GrfFindEntry(GrfArchive* archive, const char* name) {
    if (IsNoArchive(archive) || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return nullptr;
    }
    GrfEntry* entry = name ? Lookup(archive, name) : nullptr;
    GrfLastError = entry ? GRF_OK : GRF_ERROR_NOT_FOUND;
    return entry;
}

extern "C" void* GrfReadEntryRaw(GrfArchive* archive, const char* name, uint32_t* outSize) {
    if (IsNoArchive(archive) || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return nullptr;
    }
    // A record added from a local file has no owner: nothing to read.
    GrfEntry* entry = archive && name ? Lookup(archive, name) : nullptr;
    uint8_t* stored = nullptr;
    GrfLastError = entry ? ReadStored(*entry, &stored) : uint32_t{GRF_ERROR_NOT_FOUND};
    if (stored && outSize) *outSize = entry->alignedSize;
    return stored;
}

extern "C" void* GrfReadEntry(GrfArchive* archive, const wchar_t* name, uint32_t* outSize) {
    if (IsNoArchive(archive) || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return nullptr;
    }
    char* narrow = name ? PlatformWideToCp949(name) : nullptr;
    if (name && !narrow) {
        GrfLastError = GRF_ERROR_MEMORY;
        return nullptr;
    }
    GrfEntry* entry = archive && narrow ? Lookup(archive, narrow) : nullptr;
    PlatformFree(narrow);
    uint8_t* content = nullptr;
    GrfLastError = entry ? ReadContent(*entry, &content) : uint32_t{GRF_ERROR_NOT_FOUND};
    if (content && outSize) *outSize = entry->realSize;
    return content;
}

extern "C" uint8_t* GrfReadRecord(GrfArchive* archive, uint32_t index, uint32_t* size) {
    if (IsNoArchive(archive) || !archive) {
        GrfLastError = GRF_ERROR_HANDLE;
        return nullptr;
    }
    const GrfEntry* entry = index < archive->count ? &archive->entries[index] : nullptr;
    uint8_t* content = nullptr;
    GrfLastError = entry ? ReadContent(*entry, &content) : uint32_t{GRF_ERROR_NOT_FOUND};
    if (content && size) *size = entry->realSize;
    return content;
}

extern "C" int GrfFreeBuffer(void* block) {
    if (!block || block == reinterpret_cast<void*>(-1)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    PlatformFree(block);
    GrfLastError = GRF_OK;
    return 1;
}

extern "C" wchar_t* GrfCp949ToWide(const char* text) {
    return text ? PlatformCp949ToWide(text) : nullptr;
}

extern "C" char* GrfWideToCp949(const wchar_t* text) {
    return text ? PlatformWideToCp949(text) : nullptr;
}

extern "C" wchar_t* Cp949ToWide(const char* text) {
    return GrfCp949ToWide(text);
}

extern "C" char* WideToCp949(const wchar_t* text) {
    return GrfWideToCp949(text);
}

extern "C" int CreatePathDirectories(wchar_t* path) {
    return GrfCreatePathDirectories(path);
}

extern "C" int GrfCreatePathDirectories(wchar_t* path) {
    if (!path) return 1;
    for (wchar_t* at = path; *at; ++at) {
        if (*at != L'\\') continue;
        *at = L'\0';
        PlatformCreateDirectory(path);  // an existing directory is no failure
        *at = L'\\';
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Batch reads: one open of the owner's file for the whole batch, positioned
// reads, and two buffers and a decompressor reused from record to record.

namespace {

struct BatchReader {
    const GrfArchive* owner = nullptr;  // whose file is open
    PlatformFile* file = nullptr;
    uint8_t* stored = nullptr;
    size_t storedRoom = 0;
    uint8_t* content = nullptr;
    size_t contentRoom = 0;
    libdeflate_decompressor* inflater = nullptr;
};

bool Grow(uint8_t** buffer, size_t* room, uint64_t need) {
    if (need <= *room) return true;
    PlatformFree(*buffer);
    *buffer = need <= SIZE_MAX ? static_cast<uint8_t*>(PlatformAlloc(static_cast<size_t>(need)))
                               : nullptr;
    *room = *buffer ? static_cast<size_t>(need) : 0;
    return *buffer != nullptr;
}

// The owner's file, opened once and checked against its stamp for every
// record, as a read on its own would find it.
uint32_t SourceFor(const GrfEntry& entry, BatchReader* r) {
    if (!entry.owner || entry.owner == GRF_NO_ARCHIVE) return GRF_ERROR_NOT_FOUND;
    if (r->file && r->owner == entry.owner) return CheckArchiveFile(entry.owner, r->file);
    PlatformClose(r->file);
    r->file = nullptr;
    r->owner = nullptr;
    uint32_t code = OpenArchiveFile(entry.owner, &r->file);
    if (code == GRF_OK) r->owner = entry.owner;
    return code;
}

// ReadContent into the reader's buffers: the same bytes and codes.
uint32_t ReadBatched(const GrfEntry& entry, BatchReader* r) {
    if (entry.cycle == GRF_CYCLE_FOREIGN && entry.realSize != 0) return GRF_ERROR_METHOD;
    uint32_t code = SourceFor(entry, r);
    if (code == GRF_OK) code = StoredPlace(entry);
    if (code != GRF_OK) return code;
    if (!Grow(&r->stored, &r->storedRoom, uint64_t{entry.alignedSize} + kSlack))
        return GRF_ERROR_MEMORY;
    uint32_t got = 0;
    if (!PlatformReadAt(r->file, entry.position, r->stored, entry.alignedSize, &got) ||
        got != entry.alignedSize)
        return GRF_ERROR_READ;
    memset(r->stored + entry.alignedSize, 0, kSlack);  // the cipher's last block
    if (entry.compressedSize > entry.alignedSize) return GRF_ERROR_READ;
    if (entry.cycle >= 0)
        GrfCipherEntryData(r->stored, entry.alignedSize, entry.cycle == 0, entry.cycle, 0);
    return DecodeWithKey(
        entry, r->stored,
        [&] {
            bool grown = Grow(&r->content, &r->contentRoom, uint64_t{entry.realSize} + kSlack);
            return grown ? r->content : nullptr;
        },
        &r->inflater);
}

}  // namespace

extern "C" uint32_t GrfReadRecords(GrfArchive* archive, const uint32_t* indices, uint32_t count,
                                   GrfRecordReader reader, void* user) {
    if (IsNoArchive(archive) || !archive || !reader || (count && !indices)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    BatchReader r;
    uint32_t read = 0;
    bool stopped = false;
    FileHold hold;
    uint32_t held = HoldForReading(archive, &hold);
    for (uint32_t p = 0; p < count && !stopped; ++p) {
        uint32_t index = indices[p];
        uint32_t code = held != GRF_OK           ? held
                        : index < archive->count ? ReadBatched(archive->entries[index], &r)
                                                 : uint32_t{GRF_ERROR_NOT_FOUND};
        read += code == GRF_OK;
        const uint8_t* content = code == GRF_OK ? r.content : nullptr;
        uint32_t size = code == GRF_OK ? archive->entries[index].realSize : 0;
        stopped = reader(index, content, size, code, user) != 0;
    }
    PlatformClose(r.file);
    ReleaseFile(&hold);
    PlatformFree(r.stored);
    PlatformFree(r.content);
    InflateRelease(&r.inflater);
    GrfLastError = stopped ? GRF_ERROR_CANCELLED : GRF_OK;
    return read;
}
