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

extern "C" uint32_t GrfAddFile(GrfArchive* archive, const wchar_t* baseDir, const wchar_t* name) {
    if (!IsArchive(archive)) return 1;
    if (!baseDir || !name || wcslen(baseDir) >= kBaseDirSize) return GRF_ERROR_NOT_FOUND;
    wcscpy(GrfLocalBaseDir, baseDir);

    char* narrow = PlatformWideToCp949(name);
    if (!narrow) return GRF_ERROR_MEMORY;
    uint32_t result = GRF_OK;
    GrfEntry record = {};
    size_t length = strlen(narrow);
    // Never cut a name short: a cut name would pack another file's path.
    // An empty name is no file, and the 0x2xx layout ends its table there.
    if (length == 0 || length > GRF_NAME_MAX) {
        result = GRF_ERROR_NOT_FOUND;
    } else {
        memcpy(record.name, narrow, length);
        record.state = ENTRY_ON_DISK | ENTRY_NEW;
        if (!HasRoomFor(archive, 1) || !ReserveEntries(archive, 1) || !Append(archive, record))
            result = GRF_ERROR_MEMORY;
    }
    PlatformFree(narrow);
    return result;
}

extern "C" uint32_t GrfMerge(GrfArchive* archive, GrfArchive* other) {
    if (!IsArchive(archive) || !IsArchive(other)) {
        GrfLastError = GRF_ERROR_NOT_ARCHIVE;
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
        if (!(s.state & ENTRY_DELETED) && !NameIndexFind(archive, s.name)) ++appended;
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
        d->state = ENTRY_IN_ARCHIVE | ENTRY_REPLACED;
        s.state = ENTRY_DELETED;
    }
    // The rest are appended in the other archive's order. Room is reserved,
    // so appending cannot fail.
    for (uint32_t i = 0; i < other->count; ++i) {
        const GrfEntry& s = other->entries[i];
        if (s.state & ENTRY_DELETED) continue;
        GrfEntry record = s;
        record.state = ENTRY_IN_ARCHIVE | ENTRY_NEW;
        Append(archive, record);
    }
    return archive->count;
}
