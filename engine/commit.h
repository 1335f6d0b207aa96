// commit.h -- the one way an archive file takes a change, so that a crash,
// a kill or a power cut at any moment leaves it whole: every new byte goes
// where nothing refers to it yet (past the end of the file, or into a new
// file), is flushed to the disk, and only then does one small write into
// the header switch the file over to it, flushed in turn. Before that write
// the file is the old archive, after it the new one. A failure before the
// switch has completed puts back what was there.
//
// The switching write is of at most GRF_HEADER_SIZE bytes at the start of
// the file, within its first disk sector: disks write a sector whole or not
// at all, which is what makes the one write atomic.
#ifndef CASKWRIGHT_COMMIT_H
#define CASKWRIGHT_COMMIT_H

#include <stdint.h>

#include "grf.h"

struct PlatformFile;

struct Commit {
    PlatformFile* file = nullptr;
    uint64_t oldSize = 0;  // the file's length before the change
    // The bytes the switch replaced, for putting them back.
    uint8_t oldBytes[GRF_HEADER_SIZE] = {};
    uint64_t switchOffset = 0;
    uint32_t switchSize = 0;  // 0 until the switch has been tried
};

// Opens archive's own file to change it in place, notes its length and
// positions it there (the first byte no one refers to). GRF_OK;
// GRF_ERROR_NOT_FOUND when it does not open for writing; GRF_ERROR_CHANGED
// (closed again) when it is no longer the file the archive was read from.
uint32_t CommitBegin(const GrfArchive* archive, Commit* commit);

// A new file written from its start takes the same switch: the caller sets
// commit->file and leaves oldSize 0.

// Once every new byte is written: flushes them to the disk, writes size
// bytes (at most GRF_HEADER_SIZE) at offset, and flushes again. GRF_OK, or
// GRF_ERROR_WRITE when a write or a flush failed (CommitUndo then puts the
// old bytes back).
uint32_t CommitSwitch(Commit* commit, uint64_t offset, const uint8_t* bytes, uint32_t size);

// After a failure before the switch completed: puts back the bytes the
// switch changed (when it changed any) and flushes them, then cuts the file
// back to its old length and flushes again. True when the file holds its
// old bytes up to its old length (a cut that fails leaves bytes past it that
// nothing refers to); false when the old bytes could not be put back for
// sure, in which case nothing is cut, so the file is whole whichever header
// the disk holds.
bool CommitUndo(Commit* commit);

// Closes the file (null does nothing).
void CommitEnd(Commit* commit);

#endif
