// edit.cpp -- editing the table in memory: appending local-file records and
// merging a second archive's records. Nothing here reads or writes a file.
#include "archive_internal.h"
#include "platform.h"

#include <string.h>
#include <wchar.h>

namespace {

constexpr size_t kBaseDirSize = sizeof GrfLocalBaseDir / sizeof GrfLocalBaseDir[0];

bool IsArchive(const GrfArchive* archive) {
    return archive && archive != GRF_NO_ARCHIVE;
}

// entriesSize counts the table's bytes in 32 bits.
bool HasRoomFor(const GrfArchive* archive, uint64_t more) {
    return archive->count + more <= 0xFFFFFFFFu / sizeof(GrfEntry);
}

// Appends a copy of record at the end of the table, where room has been
// reserved; false (nothing changed) when the index cannot grow.
bool Append(GrfArchive* archive, const GrfEntry& record) {
    GrfEntry* slot = &archive->entries[archive->count];
    *slot = record;
    if (!NameIndexAdd(archive, archive->count)) {
        memset(slot, 0, sizeof *slot);
        return false;
    }
    ++archive->count;
    archive->entriesSize += static_cast<uint32_t>(sizeof(GrfEntry));
    return true;
}

}  // namespace

namespace {

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

// The byte that "%XX" at text stands for (XX from 80 to FF, as extraction
// names a byte that starts no character), or -1 when text holds no escape.
int EscapedByte(const wchar_t* text) {
    if (text[0] != L'%') return -1;
    int high = HexValue(text[1]);
    int low = high >= 8 ? HexValue(text[2]) : -1;
    return low < 0 ? -1 : high << 4 | low;
}

// Appends the code page 949 bytes of the one character c to out: GRF_OK;
// GRF_ERROR_NOT_FOUND when the code page lacks it (a conversion that would
// put a "?" or a near match in its place); GRF_ERROR_MEMORY.
uint32_t ExactChar(wchar_t c, char* out, size_t* n) {
    if (c > 0 && c < 0x80) {
        out[(*n)++] = static_cast<char>(c);
        return GRF_OK;
    }
    const wchar_t one[2] = {c, L'\0'};
    char* narrow = PlatformWideToCp949(one);
    wchar_t* back = narrow ? PlatformCp949ToWide(narrow) : nullptr;
    uint32_t code = GRF_ERROR_MEMORY;
    if (back) code = back[0] == c && back[1] == L'\0' ? GRF_OK : GRF_ERROR_NOT_FOUND;
    if (code == GRF_OK) {
        size_t length = strlen(narrow);
        memcpy(out + *n, narrow, length);
        *n += length;
    }
    PlatformFree(narrow);
    PlatformFree(back);
    return code;
}

// The code page 949 form of name, or null (with *code) when it is empty,
// does not fit the field, or has a character the code page lacks: a name
// is never cut short or changed, for a changed name would pack another
// file's path. "%XX" stands for the byte XX, so the names extraction gives
// bytes that start no character come back as those bytes. An empty name is
// no file, and the 0x2xx layout ends its table there.
char* ExactName(const wchar_t* name, uint32_t* code) {
    *code = GRF_ERROR_MEMORY;
    size_t units = wcslen(name);
    char* narrow = static_cast<char*>(PlatformAlloc(units * 2 + 1));
    if (!narrow) return nullptr;
    size_t n = 0;
    uint32_t result = GRF_OK;
    for (size_t i = 0; i < units && result == GRF_OK; ++i) {
        int byte = EscapedByte(name + i);
        if (byte >= 0) {
            narrow[n++] = static_cast<char>(byte);
            i += 2;
        } else {
            result = ExactChar(name[i], narrow, &n);
        }
    }
    if (result == GRF_OK && (n == 0 || n > GRF_NAME_MAX)) result = GRF_ERROR_NOT_FOUND;
    if (result != GRF_OK) {
        PlatformFree(narrow);
        *code = result;
        return nullptr;
    }
    return narrow;
}

}  // namespace

extern "C" uint32_t GrfAddLocalFile(GrfArchive* archive, const wchar_t* name,
                                    const wchar_t* localPath) {
    if (!IsArchive(archive)) return GRF_ERROR_HANDLE;
    if (!name || !localPath || !localPath[0]) return GRF_ERROR_NOT_FOUND;
    uint32_t code = GRF_OK;
    char* narrow = ExactName(name, &code);
    if (!narrow) return code;
    GrfEntry record = {};
    memcpy(record.name, narrow, strlen(narrow));
    PlatformFree(narrow);
    record.state = GRF_ENTRY_ON_DISK | GRF_ENTRY_NEW;
    // Room first, so that the one step that can fail after the record is in
    // (keeping its path) cannot leave a record without one.
    uint32_t index = archive->count;
    if (!HasRoomFor(archive, 1) || !ReserveEntries(archive, 1) || !LocalFileReserve(archive) ||
        !LocalFileAdd(archive, index, localPath))
        return GRF_ERROR_MEMORY;
    if (!Append(archive, record)) {
        LocalFileForget(archive, index);
        return GRF_ERROR_MEMORY;
    }
    return GRF_OK;
}

extern "C" uint32_t GrfAddFile(GrfArchive* archive, const wchar_t* baseDir, const wchar_t* name) {
    if (!IsArchive(archive)) return GRF_ERROR_HANDLE;
    if (!baseDir || !name || wcslen(baseDir) >= kBaseDirSize) return GRF_ERROR_NOT_FOUND;
    // The name less its first four characters ("data", which stands for the
    // base) names the file under baseDir.
    size_t skip = wcslen(name) < 4 ? wcslen(name) : 4;
    size_t base = wcslen(baseDir);
    size_t rest = wcslen(name + skip);
    auto* path = static_cast<wchar_t*>(PlatformAlloc((base + rest + 1) * sizeof(wchar_t)));
    if (!path) return GRF_ERROR_MEMORY;
    wmemcpy(path, baseDir, base);
    wmemcpy(path + base, name + skip, rest + 1);
    wcscpy(GrfLocalBaseDir, baseDir);
    uint32_t code = GrfAddLocalFile(archive, name, path);
    PlatformFree(path);
    return code;
}

extern "C" uint32_t GrfMerge(GrfArchive* archive, GrfArchive* other) {
    if (!IsArchive(archive) || !IsArchive(other)) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 0;
    }
    // Every record would replace itself: nothing to change.
    if (archive == other) return archive->count;
    // A local-file record has its data only in a file that other's own
    // repack would read; taken over here, it would be read from other's
    // archive file instead.
    for (uint32_t i = 0; i < other->count; ++i) {
        if (!other->entries[i].owner) {
            GrfLastError = GRF_ERROR_LOCAL_RECORDS;
            return 0;
        }
    }

    // Count what will be appended first, so that growing, the one step that
    // can fail, happens before anything changes.
    uint64_t appended = 0;
    for (uint32_t i = 0; i < other->count; ++i) {
        const GrfEntry& s = other->entries[i];
        if (!(s.state & GRF_ENTRY_DELETED) && !NameIndexFind(archive, s.name)) ++appended;
    }
    uint64_t total = archive->count + appended;
    if (!HasRoomFor(archive, appended) ||
        !ReserveEntries(archive, static_cast<uint32_t>(appended)) ||
        !NameIndexReserve(archive, static_cast<uint32_t>(total))) {
        GrfLastError = GRF_ERROR_MEMORY;
        return 0;
    }

    // Same names replace in place; a replaced record keeps its name, so the
    // index stays right.
    for (uint32_t i = 0; i < other->count; ++i) {
        GrfEntry& s = other->entries[i];
        GrfEntry* d = NameIndexFind(archive, s.name);
        if (!d) continue;
        *d = s;
        d->owner = s.owner ? s.owner : other;
        d->state = GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REPLACED;
        s.state = GRF_ENTRY_DELETED;
    }
    // The rest are appended in the other archive's order. Room is reserved,
    // so appending cannot fail.
    for (uint32_t i = 0; i < other->count; ++i) {
        const GrfEntry& s = other->entries[i];
        if (s.state & GRF_ENTRY_DELETED) continue;
        GrfEntry record = s;
        record.state = GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_NEW;
        Append(archive, record);
    }
    return archive->count;
}
