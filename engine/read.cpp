// read.cpp -- finding entries by name, reading their stored bytes and their
// content (by name or by record), and the code page conversions.
#include <string.h>
#include <wchar.h>
#include <zlib.h>

#include "archive_internal.h"
#include "grf_format.h"
#include "platform.h"

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

// Reads entry's alignedSize stored bytes into a new zero-filled buffer of
// alignedSize + kSlack bytes.
uint32_t ReadStored(const GrfEntry& entry, uint8_t** stored) {
    *stored = nullptr;
    PlatformFile* file = nullptr;
    uint32_t code = OpenStored(entry, &file);
    if (code != GRF_OK) return code;
    uint8_t* buffer = static_cast<uint8_t*>(PlatformAlloc(size_t{entry.alignedSize} + kSlack));
    uint32_t got = 0;
    if (!buffer)
        code = GRF_ERROR_MEMORY;
    else if (!PlatformRead(file, buffer, entry.alignedSize, &got) || got != entry.alignedSize)
        code = GRF_ERROR_READ;
    PlatformClose(file);
    if (code != GRF_OK) {
        PlatformFree(buffer);
        return code;
    }
    *stored = buffer;
    return GRF_OK;
}

// Inflates the deciphered stored bytes into a new buffer of realSize +
// kSlack bytes. An entry of real size 0 is empty whatever is stored; stored
// bytes that do not inflate but are as long as the content are the content.
uint32_t Inflate(const GrfEntry& entry, const uint8_t* stored, uint8_t** content) {
    *content = nullptr;
    bool storedPlain = entry.compressedSize == entry.realSize;
    if (!storedPlain && entry.realSize > entry.compressedSize * grf::kMaxInflateRatio)
        return GRF_ERROR_INFLATE;
    uint64_t room = uint64_t{entry.realSize} + kSlack;
    auto* buffer = static_cast<uint8_t*>(PlatformAlloc(static_cast<size_t>(room)));
    if (!buffer) return GRF_ERROR_MEMORY;
    if (entry.realSize == 0) {
        *content = buffer;
        return GRF_OK;
    }
    // uLongf is 32 bits on Windows; the content itself always fits.
    uLongf inflated = room > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uLongf>(room);
    int z = uncompress(buffer, &inflated, stored, entry.compressedSize);
    if (z == Z_OK && inflated == entry.realSize) {
        *content = buffer;
        return GRF_OK;
    }
    if (storedPlain) {
        memcpy(buffer, stored, entry.realSize);
        memset(buffer + entry.realSize, 0, kSlack);
        *content = buffer;
        return GRF_OK;
    }
    PlatformFree(buffer);
    return GRF_ERROR_INFLATE;
}

// Reads, deciphers and inflates entry's content (see GrfReadEntry).
uint32_t ReadContent(const GrfEntry& entry, uint8_t** content) {
    *content = nullptr;
    uint8_t* stored = nullptr;
    uint32_t code = ReadStored(entry, &stored);
    if (code == GRF_OK && entry.compressedSize > entry.alignedSize) {
        // The stream would run past the bytes read.
        code = GRF_ERROR_READ;
    } else if (code == GRF_OK) {
        if (entry.cycle >= 0)
            GrfCipherEntryData(stored, entry.alignedSize, entry.cycle == 0, entry.cycle, 0);
        code = Inflate(entry, stored, content);
    }
    PlatformFree(stored);
    return code;
}

}  // namespace

uint32_t PositionStored(const GrfEntry& entry, PlatformFile* file) {
    // A patch's removal record names a file to delete: it has no content.
    if (entry.state & ENTRY_REMOVAL) return GRF_ERROR_NOT_FOUND;
    // The file was found as it was when opened: its size is the stamp's.
    if (uint64_t{entry.position} + entry.alignedSize > entry.owner->stamp.size)
        return GRF_ERROR_READ;  // the sizes reach beyond the file
    return PlatformSeek(file, entry.position) ? GRF_OK : GRF_ERROR_SEEK;
}

uint32_t OpenStored(const GrfEntry& entry, PlatformFile** file) {
    *file = nullptr;
    if (!entry.owner || entry.owner == GRF_NO_ARCHIVE) return GRF_ERROR_NOT_FOUND;
    uint32_t code = OpenArchiveFile(entry.owner, file);
    if (code == GRF_OK) code = PositionStored(entry, *file);
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
    if (IsNoArchive(archive)) {
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
    if (IsNoArchive(archive)) {
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

extern "C" wchar_t* Cp949ToWide(const char* text) {
    return text ? PlatformCp949ToWide(text) : nullptr;
}

extern "C" char* WideToCp949(const wchar_t* text) {
    return text ? PlatformWideToCp949(text) : nullptr;
}

extern "C" int CreatePathDirectories(wchar_t* path) {
    if (!path) return 1;
    for (wchar_t* at = path; *at; ++at) {
        if (*at != L'\\') continue;
        *at = L'\0';
        PlatformCreateDirectory(path);  // an existing directory is no failure
        *at = L'\\';
    }
    return 1;
}
