// patch_files.cpp -- a patch's files written into a folder as a whole:
// every name checked first, then each file written under a temporary name
// beside its final one, and only once a whole batch is written are they
// renamed into place, in table order.
#include <string.h>
#include <wchar.h>

#include "archive_internal.h"
#include "extract_internal.h"
#include "platform.h"

namespace {

// Files written before any of them is renamed. Each waiting file keeps its
// folders open, so a batch stays well inside the open files a process has.
constexpr uint32_t kBatch = 64;

struct Waiting {
    PlatformOutput* output = nullptr;
    PlatformFolders* folders = nullptr;
};

void Abandon(Waiting* w) {
    if (w->output) PlatformAbandonOutput(w->output);
    PlatformFreeFolders(w->folders);
    *w = Waiting();
}

uint32_t OutputCode(PlatformOutputResult result) {
    if (result == kOutputDone) return GRF_OK;
    return result == kOutputLink ? GRF_ERROR_UNSAFE_NAME : GRF_ERROR_OUTPUT;
}

// Reads record's content and writes it under a temporary name beside its
// final one, below folder.
uint32_t Stage(const GrfEntry& record, const wchar_t* folder, Waiting* w) {
    wchar_t* fileName = FileNameOf(record.name);
    if (!fileName) return GRF_ERROR_MEMORY;
    PlatformFile* file = nullptr;
    uint8_t* content = nullptr;
    uint32_t code = OpenStored(record, &file);
    if (code == GRF_OK) code = ReadContentFrom(record, file, &content);
    PlatformClose(file);
    if (code == GRF_OK && !(w->folders = PlatformNewFoldersAt(folder))) code = GRF_ERROR_OUTPUT;
    if (code == GRF_OK) code = OutputCode(PlatformBeginOutput(fileName, w->folders, &w->output));
    if (code == GRF_OK && record.realSize &&
        !PlatformWriteOutput(w->output, content, record.realSize))
        code = GRF_ERROR_OUTPUT;
    PlatformFree(content);
    PlatformFree(fileName);
    return code;
}

bool IsFile(const GrfEntry& record) {
    return !(record.state & (GRF_ENTRY_DELETED | GRF_ENTRY_REMOVAL));
}

}  // namespace

extern "C" int32_t GrfApplyFiles(GrfArchive* patch, const wchar_t* folder,
                                 GrfProgressCallback progress, uint32_t* applied) {
    if (applied) *applied = 0;
    if (!patch || patch == GRF_NO_ARCHIVE || !folder) {
        GrfLastError = GRF_ERROR_HANDLE;
        return 1;
    }
    // Every name first: one that would leave the folder stops it all.
    uint32_t code = GRF_OK;
    for (uint32_t i = 0; i < patch->count && code == GRF_OK; ++i) {
        if (!IsFile(patch->entries[i])) continue;
        wchar_t* fileName = FileNameOf(patch->entries[i].name);
        code = !fileName ? GRF_ERROR_MEMORY : IsSafeName(fileName) ? GRF_OK : GRF_ERROR_UNSAFE_NAME;
        PlatformFree(fileName);
    }
    Waiting waiting[kBatch];
    uint32_t done = 0;
    for (uint32_t start = 0; code == GRF_OK && start < patch->count;) {
        uint32_t staged = 0, end = start;
        for (; end < patch->count && staged < kBatch && code == GRF_OK; ++end) {
            GrfEntry& record = patch->entries[end];
            if (!IsFile(record)) continue;
            if (progress && progress(&record, end, patch->count)) code = GRF_ERROR_CANCELLED;
            if (code == GRF_OK) code = Stage(record, folder, &waiting[staged]);
            ++staged;
        }
        for (uint32_t k = 0; k < staged; ++k) {
            if (code == GRF_OK) {
                // Committing ends the output whatever comes of it.
                code = OutputCode(PlatformCommitOutput(waiting[k].output));
                waiting[k].output = nullptr;
                done += code == GRF_OK;
            }
            Abandon(&waiting[k]);
        }
        start = end;
    }
    if (applied) *applied = done;
    GrfLastError = code;
    return code == GRF_OK ? 0 : 1;
}
