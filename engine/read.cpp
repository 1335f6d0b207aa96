// read.cpp -- finding entries by name, reading their stored bytes and their
// content, the code page conversions, and extraction to relative paths.
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

// Opens the archive's file, finds name and reads its alignedSize stored
// bytes into a new zero-filled buffer of alignedSize + kSlack bytes.
uint32_t ReadStored(const GrfArchive* archive, const char* name, GrfEntry** found,
                    uint8_t** stored) {
    *found = nullptr;
    *stored = nullptr;
    // A record added from a local file has no owner: nothing to open.
    if (!archive || !name) return GRF_ERROR_NOT_FOUND;
    PlatformFile* file = PlatformOpenRead(archive->path);
    if (!file) return GRF_ERROR_NOT_FOUND;
    uint32_t code = GRF_OK;
    uint8_t* buffer = nullptr;
    uint32_t got = 0;
    GrfEntry* entry = Lookup(archive, name);
    if (!entry) {
        code = GRF_ERROR_NOT_FOUND;
    } else if (uint64_t{entry->position} + entry->alignedSize > PlatformFileSize(file)) {
        code = GRF_ERROR_READ;  // the sizes reach beyond the file
    } else if (!PlatformSeek(file, entry->position)) {
        code = GRF_ERROR_SEEK;
    } else if (!(buffer =
                     static_cast<uint8_t*>(PlatformAlloc(size_t{entry->alignedSize} + kSlack)))) {
        code = GRF_ERROR_MEMORY;
    } else if (!PlatformRead(file, buffer, entry->alignedSize, &got) || got != entry->alignedSize) {
        code = GRF_ERROR_READ;
    }
    PlatformClose(file);
    if (code != GRF_OK) {
        PlatformFree(buffer);
        return code;
    }
    *found = entry;
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

// A relative path that stays below the current directory: no leading
// separator, no drive, no ".." component. Windows drops trailing dots and
// spaces from components, so any component of only dots and spaces with
// two dots or more counts as "..".
bool IsSafeName(const wchar_t* name) {
    if (name[0] == L'\0' || name[0] == L'\\' || name[0] == L'/') return false;
    if (name[1] == L':') return false;
    const wchar_t* start = name;
    for (const wchar_t* at = name;; ++at) {
        if (*at != L'\0' && *at != L'\\' && *at != L'/') continue;
        size_t dots = 0;
        bool onlyDots = true;
        for (const wchar_t* c = start; c < at; ++c) {
            if (*c == L'.')
                ++dots;
            else if (*c != L' ')
                onlyDots = false;
        }
        if (onlyDots && dots >= 2) return false;
        if (*at == L'\0') return true;
        start = at + 1;
    }
}

// Creates the file at path (its directories on demand) and writes size
// bytes with one write; a failure leaves no partial file behind.
uint32_t WriteWholeFile(const wchar_t* path, const void* content, uint32_t size) {
    PlatformFile* file = PlatformCreateAlways(path);
    if (!file) {
        size_t length = wcslen(path);
        auto* copy = static_cast<wchar_t*>(PlatformAlloc((length + 1) * sizeof(wchar_t)));
        if (copy) {
            wmemcpy(copy, path, length);
            CreatePathDirectories(copy);
            PlatformFree(copy);
        }
        file = PlatformCreateAlways(path);
    }
    if (!file) return GRF_ERROR_OUTPUT;
    bool written = PlatformWrite(file, content, size);
    PlatformClose(file);
    if (written) return GRF_OK;
    PlatformDeleteFile(path);
    return GRF_ERROR_OUTPUT;
}

}  // namespace

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
    GrfEntry* entry = nullptr;
    uint8_t* stored = nullptr;
    GrfLastError = ReadStored(archive, name, &entry, &stored);
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
    GrfEntry* entry = nullptr;
    uint8_t* stored = nullptr;
    uint8_t* content = nullptr;
    uint32_t code = ReadStored(archive, narrow, &entry, &stored);
    PlatformFree(narrow);
    if (code == GRF_OK && entry->compressedSize > entry->alignedSize) {
        // The stream would run past the bytes read.
        code = GRF_ERROR_READ;
    } else if (code == GRF_OK) {
        if (entry->cycle >= 0)
            GrfCipherEntryData(stored, entry->alignedSize, entry->cycle == 0, entry->cycle, 0);
        code = Inflate(*entry, stored, &content);
    }
    PlatformFree(stored);
    GrfLastError = code;
    if (content && outSize) *outSize = entry->realSize;
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

extern "C" uint32_t GrfExtractEntry(GrfArchive* owner, const wchar_t* name) {
    if (!name || !IsSafeName(name)) {
        GrfLastError = GRF_ERROR_UNSAFE_NAME;
        return GrfLastError;
    }
    uint32_t size = 0;
    void* content = GrfReadEntry(owner, name, &size);
    if (!content) return GrfLastError;
    uint32_t code = WriteWholeFile(name, content, size);
    PlatformFree(content);
    GrfLastError = code;
    return code;
}
