// patch_apply.cpp -- applying a patch file: its records taken into an
// archive's table as marks (replaced, new, deleted), which a save then
// writes into the archive's own file; or, for a patch of loose files, its
// files written and its removals deleted in the archive's folder with
// extraction's safety.
#include <string.h>
#include <wchar.h>

#include "archive_internal.h"
#include "platform.h"
#include "thor_format.h"

namespace {

bool IsArchive(const GrfArchive* archive) {
    return archive && archive != GRF_NO_ARCHIVE;
}

// The integrity list describes the patch; patchers never apply it.
bool IsIntegrity(const GrfEntry& entry) {
    return strcmp(entry.name, thor::kIntegrityName) == 0;
}

// The patch's record that applies to name, or null.
const GrfEntry* PatchRecordFor(const GrfArchive* patch, const char* name) {
    if (!patch->count) return nullptr;
    const GrfEntry* record = NameIndexFind(patch, name);
    return record && !IsIntegrity(*record) ? record : nullptr;
}

void TakeRecord(GrfEntry* slot, const GrfEntry& record, uint8_t state) {
    *slot = record;
    slot->state = state;
}

uint32_t CheckPair(const GrfArchive* archive, const GrfArchive* patch) {
    if (!IsArchive(archive) || !IsArchive(patch)) return GRF_ERROR_HANDLE;
    if (!patch->patch || archive->patch) return GRF_ERROR_NOT_ARCHIVE;
    return GRF_OK;
}

// The folder of the archive's file: its path up to the last separator.
bool FolderOf(const GrfArchive* archive, wchar_t* folder) {
    size_t length = wcsnlen(archive->path, GRF_PATH_SIZE);
    while (length > 0 && archive->path[length - 1] != L'\\' && archive->path[length - 1] != L'/')
        --length;
    if (length == 0) return false;
    wmemcpy(folder, archive->path, length);
    folder[length] = L'\0';
    return true;
}

// Every record is applied that can be: a refused or failed one is left out
// and the rest go on, removals included, so a patch is never left half-way
// with its removals skipped. results (may be null) gets each record's code;
// the first failure's code is returned.
uint32_t ApplyLoose(const GrfArchive* archive, GrfArchive* patch, GrfProgressCallback progress,
                    uint32_t* results) {
    wchar_t folder[GRF_PATH_SIZE];
    GrfExtractRun* run = FolderOf(archive, folder) ? BeginExtractRunAt(folder) : nullptr;
    uint32_t first = run ? uint32_t{GRF_OK} : uint32_t{GRF_ERROR_OUTPUT};
    bool stopped = false;
    for (uint32_t i = 0; i < patch->count; ++i) {
        GrfEntry& record = patch->entries[i];
        uint32_t code = GRF_OK;
        if (!run)
            code = GRF_ERROR_OUTPUT;
        else if (stopped ||
                 (!IsIntegrity(record) && progress && progress(&record, i, patch->count)))
            code = GRF_ERROR_CANCELLED;
        else if (!IsIntegrity(record))
            code = (record.state & GRF_ENTRY_REMOVAL) ? RemoveInRun(run, record.name)
                                                      : GrfExtractInRun(run, patch, i);
        stopped = stopped || code == GRF_ERROR_CANCELLED;
        if (first == GRF_OK) first = code;
        if (results) results[i] = code;
    }
    if (stopped) first = GRF_ERROR_CANCELLED;
    GrfEndExtractRun(run);
    return first;
}

// What marking a patch changes in a table, kept so that a failed save can
// put the table back: the records the patch touches, as they were, and the
// table's length.
struct MarkUndo {
    uint32_t count = 0;
    uint32_t entriesSize = 0;
    uint32_t touched = 0;
    uint32_t* indices = nullptr;
    GrfEntry* records = nullptr;
};

uint32_t KeepForUndo(const GrfArchive* archive, const GrfArchive* patch, MarkUndo* undo) {
    undo->count = archive->count;
    undo->entriesSize = archive->entriesSize;
    uint32_t touched = 0;
    for (uint32_t i = 0; i < archive->count; ++i)
        if (PatchRecordFor(patch, archive->entries[i].name)) ++touched;
    if (!touched) return GRF_OK;
    undo->indices = static_cast<uint32_t*>(PlatformAlloc(size_t{touched} * sizeof(uint32_t)));
    undo->records = static_cast<GrfEntry*>(PlatformAlloc(size_t{touched} * sizeof(GrfEntry)));
    if (!undo->indices || !undo->records) return GRF_ERROR_MEMORY;
    for (uint32_t i = 0; i < archive->count; ++i) {
        if (!PatchRecordFor(patch, archive->entries[i].name)) continue;
        undo->indices[undo->touched] = i;
        undo->records[undo->touched++] = archive->entries[i];
    }
    return GRF_OK;
}

// The table as it was before marking; needs no memory.
void Undo(GrfArchive* archive, const MarkUndo& undo) {
    for (uint32_t k = 0; k < undo.touched; ++k) archive->entries[undo.indices[k]] = undo.records[k];
    if (archive->count > undo.count)
        memset(archive->entries + undo.count, 0,
               size_t{archive->count - undo.count} * sizeof(GrfEntry));
    archive->count = undo.count;
    archive->entriesSize = undo.entriesSize;
    NameIndexCut(archive, undo.count);
}

void FreeUndo(MarkUndo* undo) {
    PlatformFree(undo->indices);
    PlatformFree(undo->records);
    *undo = MarkUndo();
}

// A merging patch's records go into the table as marks, and the table is
// saved into the archive's own file through the save's crash-safe steps.
// When the save fails the file is the old one, and the marks are taken back
// so that the table is what the caller had.
uint32_t ApplyMerged(GrfArchive* archive, GrfArchive* patch, GrfProgressCallback progress) {
    MarkUndo undo;
    uint32_t code = KeepForUndo(archive, patch, &undo);
    if (code == GRF_OK) code = GrfMarkPatch(archive, patch);
    if (code == GRF_OK && GrfSave(archive, progress) != 0) {
        code = GrfLastError;
        Undo(archive, undo);
    }
    FreeUndo(&undo);
    return code;
}

}  // namespace

extern "C" uint32_t GrfMarkPatch(GrfArchive* archive, GrfArchive* patch) {
    uint32_t code = CheckPair(archive, patch);
    if (code != GRF_OK) return code;

    // Room first, so that nothing can fail once the table starts changing.
    uint32_t appended = 0;
    for (uint32_t i = 0; i < patch->count; ++i) {
        const GrfEntry& record = patch->entries[i];
        if ((record.state & GRF_ENTRY_REMOVAL) || IsIntegrity(record)) continue;
        if (!archive->count || !NameIndexFind(archive, record.name)) ++appended;
    }
    if (uint64_t{archive->count} + appended > 0xFFFFFFFFu / sizeof(GrfEntry) ||
        !ReserveEntries(archive, appended) || !NameIndexReserve(archive, archive->count + appended))
        return GRF_ERROR_MEMORY;

    // The table's own records: the first of a name the patch touches takes
    // the patch's file or is deleted; any later record of that name goes, so
    // no reader that keeps the last of a name sees the old one.
    for (uint32_t i = 0; i < archive->count; ++i) {
        GrfEntry& entry = archive->entries[i];
        const GrfEntry* record = PatchRecordFor(patch, entry.name);
        if (!record) continue;
        bool first = NameIndexFind(archive, entry.name) == &entry;
        if (first && !(record->state & GRF_ENTRY_REMOVAL))
            TakeRecord(&entry, *record, GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REPLACED);
        else
            entry.state = GRF_ENTRY_DELETED;
    }
    for (uint32_t i = 0; i < patch->count; ++i) {
        const GrfEntry& record = patch->entries[i];
        if ((record.state & GRF_ENTRY_REMOVAL) || IsIntegrity(record)) continue;
        if (archive->count && NameIndexFind(archive, record.name)) continue;
        TakeRecord(&archive->entries[archive->count], record, GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_NEW);
        NameIndexAdd(archive, archive->count);  // room was reserved
        ++archive->count;
        archive->entriesSize += static_cast<uint32_t>(sizeof(GrfEntry));
    }
    return GRF_OK;
}

extern "C" int32_t GrfApplyPatch(GrfArchive* archive, GrfArchive* patch,
                                 GrfProgressCallback progress) {
    uint32_t code = CheckPair(archive, patch);
    if (code == GRF_OK) {
        uint8_t mode = patch->patch->mergeMode;
        if (mode == thor::kMergeLoose)
            code = ApplyLoose(archive, patch, progress, nullptr);
        else if (mode == thor::kMergeInto)
            code = ApplyMerged(archive, patch, progress);
        else
            code = GRF_ERROR_VERSION;
    }
    GrfLastError = code;
    return code == GRF_OK ? 0 : 1;
}

extern "C" int32_t GrfApplyLoosePatch(GrfArchive* archive, GrfArchive* patch,
                                      GrfProgressCallback progress, uint32_t* results) {
    uint32_t code = CheckPair(archive, patch);
    if (code == GRF_OK && patch->patch->mergeMode != thor::kMergeLoose) code = GRF_ERROR_VERSION;
    if (code == GRF_OK) code = ApplyLoose(archive, patch, progress, results);
    GrfLastError = code;
    return code == GRF_OK ? 0 : 1;
}
