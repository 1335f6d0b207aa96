// commit.cpp -- the crash-safe steps of commit.h over the platform layer.
#include "commit.h"

#include <string.h>

#include "archive_internal.h"
#include "platform.h"

uint32_t CommitBegin(const GrfArchive* archive, Commit* commit) {
    commit->file = PlatformOpenUpdate(archive->path);
    if (!commit->file) return OpenFailure();
    uint32_t code = CheckArchiveFile(archive, commit->file);
    if (code == GRF_OK) {
        commit->oldSize = PlatformFileSize(commit->file);
        if (!PlatformSeek(commit->file, commit->oldSize)) code = GRF_ERROR_SEEK;
    }
    if (code != GRF_OK) CommitEnd(commit);
    return code;
}

uint32_t CommitSwitch(Commit* commit, uint64_t offset, const uint8_t* bytes, uint32_t size) {
    if (size > GRF_HEADER_SIZE) return GRF_ERROR_WRITE;
    // The new bytes reach the disk before anything refers to them.
    if (!PlatformFlush(commit->file)) return GRF_ERROR_WRITE;
    uint32_t got = 0;
    if (offset < commit->oldSize) {
        if (!PlatformSeek(commit->file, offset) ||
            !PlatformRead(commit->file, commit->oldBytes, size, &got) || got != size)
            return GRF_ERROR_WRITE;
    }
    commit->switchOffset = offset;
    commit->switchSize = size;
    if (!PlatformSeek(commit->file, offset) || !PlatformWrite(commit->file, bytes, size) ||
        !PlatformFlush(commit->file))
        return GRF_ERROR_WRITE;
    return GRF_OK;
}

namespace {

// True when the bytes at the switch are still the old ones: the switching
// write failed before it changed anything.
bool SwitchUntouched(Commit* commit) {
    uint8_t now[GRF_HEADER_SIZE];
    uint32_t got = 0;
    return PlatformSeek(commit->file, commit->switchOffset) &&
           PlatformRead(commit->file, now, commit->switchSize, &got) && got == commit->switchSize &&
           memcmp(now, commit->oldBytes, got) == 0;
}

}  // namespace

bool CommitUndo(Commit* commit) {
    if (commit->switchSize && commit->switchOffset < commit->oldSize && !SwitchUntouched(commit)) {
        // The old bytes go back, and reach the disk, before anything they
        // would point past is cut. When that cannot be made sure, the new
        // header may stand on the disk: what it refers to stays.
        if (!PlatformSeek(commit->file, commit->switchOffset) ||
            !PlatformWrite(commit->file, commit->oldBytes, commit->switchSize) ||
            !PlatformFlush(commit->file))
            return false;
    }
    // A cut that fails leaves bytes past the old end that nothing refers to:
    // the file still reads as the old archive.
    if (PlatformTruncate(commit->file, commit->oldSize)) PlatformFlush(commit->file);
    return true;
}

void CommitEnd(Commit* commit) {
    PlatformClose(commit->file);
    commit->file = nullptr;
}
