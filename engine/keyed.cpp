// keyed.cpp -- keys made from passwords, the keystream of keyed records, the
// keys set on an archive, and telling keyed records from their first bytes.
#include "keyed.h"

#include <string.h>

#include "archive_internal.h"
#include "platform.h"
#include "stored_method.h"

namespace {

bool IsNoArchive(const GrfArchive* archive) {
    return !archive || archive == GRF_NO_ARCHIVE;
}

// The archive's keys, made on first use.
GrfKeys* KeysOf(GrfArchive* archive) {
    if (!archive->keys) archive->keys = static_cast<GrfKeys*>(PlatformAlloc(sizeof(GrfKeys)));
    return archive->keys;
}

int SetKeyOf(GrfArchive* archive, const uint8_t* key, bool write) {
    if (IsNoArchive(archive)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    GrfKeys* keys = key ? KeysOf(archive) : archive->keys;
    if (key && !keys) {
        GrfLastError = GRF_ERROR_MEMORY;
        return 0;
    }
    if (keys) {
        bool& has = write ? keys->hasWrite : keys->hasRead;
        uint8_t* kept = write ? keys->write : keys->read;
        has = key != nullptr;
        if (key)
            memcpy(kept, key, GRF_KEY_SIZE);
        else
            memset(kept, 0, GRF_KEY_SIZE);
    }
    GrfLastError = GRF_OK;
    return 1;
}

}  // namespace

const uint8_t* ReadKeyOf(const GrfEntry& entry) {
    const GrfArchive* owner = entry.owner;
    if (IsNoArchive(owner) || !owner->keys || !owner->keys->hasRead) return nullptr;
    return owner->keys->read;
}

const uint8_t* WriteKeyOf(const GrfArchive* archive) {
    if (IsNoArchive(archive) || !archive->keys || !archive->keys->hasWrite) return nullptr;
    return archive->keys->write;
}

bool MayBeKeyed(const GrfEntry& entry) {
    return entry.cycle == -1 && entry.realSize != 0 && (entry.state & GRF_ENTRY_IN_ARCHIVE) &&
           !IsNoArchive(entry.owner) && !entry.owner->patch && (entry.version >> 8) >= 2;
}

void FreeKeys(GrfArchive* archive) {
    if (!archive->keys) return;
    // Keys are secrets: nothing of them stays in freed memory.
    volatile uint8_t* bytes = reinterpret_cast<volatile uint8_t*>(archive->keys);
    for (size_t i = 0; i < sizeof(GrfKeys); ++i) bytes[i] = 0;
    PlatformFree(archive->keys);
    archive->keys = nullptr;
}

extern "C" int GrfKeyFromPassword(const uint8_t* password, size_t length,
                                  uint8_t key[GRF_KEY_SIZE]) {
    if (!password || !key || length < GRF_PASSWORD_MIN || length > GRF_PASSWORD_MAX) {
        GrfLastError = GRF_ERROR_PASSWORD_LENGTH;
        return 0;
    }
    for (int i = 0; i < GRF_KEY_SIZE; ++i) key[i] = uint8_t(i);
    uint8_t j = 0;
    for (size_t i = 0; i < GRF_KEY_SIZE; ++i) {
        j = uint8_t(j + key[i] + password[i % length]);
        uint8_t t = key[i];
        key[i] = key[j];
        key[j] = t;
    }
    GrfLastError = GRF_OK;
    return 1;
}

extern "C" void GrfKeyEntryData(const uint8_t key[GRF_KEY_SIZE], uint32_t realSize, uint8_t* data,
                                uint32_t length) {
    uint8_t k[GRF_KEY_SIZE];
    memcpy(k, key, sizeof k);
    uint8_t a = uint8_t(realSize), b = 0;
    for (uint32_t i = 0; i < length; ++i) {
        a = uint8_t(a + 1);
        b = uint8_t(b + k[a]);
        uint8_t t = k[a];
        k[a] = k[b];
        k[b] = t;
        data[i] ^= k[uint8_t(k[a] + k[b])];
    }
}

extern "C" int GrfSetKey(GrfArchive* archive, const uint8_t key[GRF_KEY_SIZE]) {
    return SetKeyOf(archive, key, false);
}

extern "C" int GrfSetWriteKey(GrfArchive* archive, const uint8_t key[GRF_KEY_SIZE]) {
    return SetKeyOf(archive, key, true);
}

extern "C" int GrfSetPassword(GrfArchive* archive, const uint8_t* password, size_t length) {
    if (IsNoArchive(archive)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    uint8_t key[GRF_KEY_SIZE];
    if (!GrfKeyFromPassword(password, length, key)) return 0;
    int set = GrfSetKey(archive, key);
    memset(key, 0, sizeof key);
    return set;
}

namespace {

// Whether entry's first stored bytes, read from file (its owner's, open),
// start like neither zlib nor LZMA: 1, 0, or -1 with the code in *code.
int32_t PeekKeyed(const GrfEntry& entry, PlatformFile* file, uint32_t* code) {
    *code = GRF_OK;
    if (!MayBeKeyed(entry)) return 0;
    if ((*code = StoredPlace(entry)) != GRF_OK) return -1;
    uint8_t head[2] = {};
    uint32_t want = entry.compressedSize < 2 ? entry.compressedSize : 2, got = 0;
    if (want > entry.alignedSize) want = entry.alignedSize;
    if (!PlatformReadAt(file, entry.position, head, want, &got) || got != want) {
        *code = GRF_ERROR_READ;
        return -1;
    }
    return MethodOf(entry, head, want) == kMethodForeign ? 1 : 0;
}

}  // namespace

extern "C" int32_t GrfIsKeyed(GrfArchive* archive, uint32_t index) {
    if (IsNoArchive(archive)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return -1;
    }
    if (index >= archive->count) {
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return -1;
    }
    const GrfEntry& entry = archive->entries[index];
    GrfLastError = GRF_OK;
    if (!MayBeKeyed(entry)) return 0;
    PlatformFile* file = nullptr;
    uint32_t code = OpenStored(entry, &file);
    int32_t keyed = code == GRF_OK ? PeekKeyed(entry, file, &code) : -1;
    PlatformClose(file);
    GrfLastError = code;
    return keyed;
}

extern "C" uint32_t GrfCountKeyed(GrfArchive* archive, GrfProgressCallback progress) {
    if (IsNoArchive(archive)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    const GrfArchive* owner = nullptr;
    PlatformFile* file = nullptr;
    uint32_t keyed = 0;
    bool stopped = false;
    for (uint32_t i = 0; i < archive->count && !stopped; ++i) {
        GrfEntry& entry = archive->entries[i];
        if (progress && progress(&entry, i, archive->count)) stopped = true;
        if (stopped || !MayBeKeyed(entry)) continue;
        if (entry.owner != owner) {
            PlatformClose(file);
            file = nullptr;
            owner = OpenArchiveFile(entry.owner, &file) == GRF_OK ? entry.owner : nullptr;
        }
        uint32_t code;
        if (owner && PeekKeyed(entry, file, &code) == 1) ++keyed;
    }
    PlatformClose(file);
    GrfLastError = stopped ? GRF_ERROR_CANCELLED : GRF_OK;
    return keyed;
}
