// commit.cpp -- the crash-safe steps of commit.h over the platform layer.
#include "commit.h"

#include <string.h>

#include "archive_internal.h"
#include "platform.h"

uint32_t CommitBegin(const GrfArchive* archive, Commit* commit) {
    // The hold comes first: the check below then sees the file as no other
    // program can change it until the commit ends.
    uint32_t code = HoldFile(archive->path, true, &commit->hold);
    if (code != GRF_OK) return code;
    commit->file = PlatformOpenUpdate(archive->path);
    if (!commit->file) code = OpenFailure();
    if (code == GRF_OK) code = CheckArchiveFile(archive, commit->file);
    if (code == GRF_OK && !HoldsFileOf(commit->hold, archive->stamp)) code = GRF_ERROR_CHANGED;
    if (code == GRF_OK) {
        commit->oldSize = PlatformFileSize(commit->file);
        commit->began = archive->stamp.time;
        if (!PlatformSeek(commit->file, commit->oldSize)) code = GRF_ERROR_SEEK;
    }
    if (code != GRF_OK) CommitEnd(commit);
    return code;
}

void CommitMark(Commit* commit) {
    GrfFileStamp now;
    if (!PlatformStampOf(commit->file, &now)) return;
    commit->newSize = now.size;
    commit->newTime = now.time;
}

uint32_t CommitSwitch(Commit* commit, uint64_t offset, const uint8_t* bytes, uint32_t size) {
    if (size > GRF_HEADER_SIZE) return GRF_ERROR_WRITE;
    // The new bytes reach the disk before anything refers to them.
    if (!PlatformFlush(commit->file)) return GRF_ERROR_WRITE;
    if (!commit->newSize) CommitMark(commit);
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
    commit->switched = true;
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

// Whether cutting the file back to its old length cuts only this commit's
// bytes: the archive's name still names the file, which is no shorter than
// it was found and not older than when the commit began, and once marked
// is as the mark found it (its time too, unless the switch wrote since).
// The hold keeps other programs of ours out; this keeps out the bytes of
// any that do not ask for it.
bool OnlyOursPastOldEnd(Commit* commit, const GrfArchive* archive) {
    GrfFileStamp now = {}, named = {};
    if (!PlatformStampOf(commit->file, &now)) return false;
    PlatformFile* byName = PlatformOpenToLock(archive->path, false);
    bool stamped = byName && PlatformStampOf(byName, &named);
    PlatformClose(byName);
    if (!stamped || named.device != now.device || named.file != now.file) return false;
    if (now.size < commit->oldSize || now.time < commit->began) return false;
    if (!commit->newSize) return true;
    return now.size == commit->newSize && (commit->switchSize || now.time == commit->newTime);
}

}  // namespace

bool CommitUndo(Commit* commit, const GrfArchive* archive) {
    if (commit->switchSize && commit->switchOffset < commit->oldSize && !SwitchUntouched(commit)) {
        // The old bytes go back, and reach the disk, before anything they
        // would point past is cut. When that cannot be made sure, the new
        // header may stand on the disk: what it refers to stays.
        if (!PlatformSeek(commit->file, commit->switchOffset) ||
            !PlatformWrite(commit->file, commit->oldBytes, commit->switchSize) ||
            !PlatformFlush(commit->file))
            return false;
    }
    // A cut that fails or is left out leaves bytes past the old end that
    // nothing refers to: the file still reads as the old archive.
    if (OnlyOursPastOldEnd(commit, archive) && PlatformTruncate(commit->file, commit->oldSize))
        PlatformFlush(commit->file);
    return true;
}

void CommitClose(Commit* commit, const wchar_t* path) {
    PlatformClose(commit->file);
    commit->file = nullptr;
    if (commit->switched) PlatformFlushFolderOf(path);
}

void CommitEnd(Commit* commit) {
    PlatformClose(commit->file);
    commit->file = nullptr;
    ReleaseFile(&commit->hold);
}
