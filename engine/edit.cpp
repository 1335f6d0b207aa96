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
    if (length >= GRF_NAME_SIZE) {
        result = GRF_ERROR_NOT_FOUND;
    } else {
        memcpy(record.name, narrow, length);
        record.state = ENTRY_ON_DISK | ENTRY_NEW;
        if (!ReserveEntries(archive, 1) || !Append(archive, record)) result = GRF_ERROR_MEMORY;
    }
    PlatformFree(narrow);
    return result;
}
