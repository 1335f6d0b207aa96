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

#include "file_lock.h"
#include "grf.h"

struct PlatformFile;

struct Commit {
    PlatformFile* file = nullptr;
    FileHold hold;         // the archive's file, held exclusively (file_lock.h)
    uint64_t oldSize = 0;  // the file's length before the change
    uint64_t newSize = 0;  // its length with every new byte (CommitMark); 0 before
    int64_t newTime = 0;   // its modification time then
    int64_t began = 0;     // its modification time when the commit began
    // The bytes the switch replaced, for putting them back.
    uint8_t oldBytes[GRF_HEADER_SIZE] = {};
    uint64_t switchOffset = 0;
    uint32_t switchSize = 0;  // 0 until the switch has been tried
    bool switched = false;    // the switch is on the disk
};

// Holds archive's own file exclusively, then opens it to change it in
// place, notes its length and positions it there (the first byte no one
// refers to). GRF_OK; GRF_ERROR_IN_USE when another program holds it;
// GRF_ERROR_NOT_FOUND when it does not open for writing; GRF_ERROR_CHANGED
// when it is no longer the file the archive was read from. On failure
// nothing is held or open.
uint32_t CommitBegin(const GrfArchive* archive, Commit* commit);

// Notes the file as the new bytes left it, once all are written: an undo
// then cuts only a file that no one has written since.
void CommitMark(Commit* commit);

// A new file written from its start takes the same switch: the caller sets
// commit->file and leaves oldSize 0.

// Once every new byte is written: flushes them to the disk, writes size
// bytes (at most GRF_HEADER_SIZE) at offset, and flushes again. GRF_OK, or
// GRF_ERROR_WRITE when a write or a flush failed (CommitUndo then puts the
// old bytes back).
uint32_t CommitSwitch(Commit* commit, uint64_t offset, const uint8_t* bytes, uint32_t size);

// After a failure before the switch completed: puts back the bytes the
// switch changed (when it changed any) and flushes them, then cuts the file
// back to its old length and flushes again. The cut is made only when the
// file is still the one begun with, under the archive's name, no shorter
// than its old length and not older, and once marked, of the length and
// (unless the switch wrote since) the time the mark noted: bytes another
// program wrote are never cut. True when the file holds its
// old bytes up to its old length (a cut that fails or is left out leaves
// bytes past it that nothing refers to); false when the old bytes could not
// be put back for sure, in which case nothing is cut, so the file is whole
// whichever header the disk holds.
bool CommitUndo(Commit* commit, const GrfArchive* archive);

// Closes the file, flushing its folder first after a switch (so that the
// new length and header are found after a power cut), and keeps the hold:
// the caller reads the file's new stamp before anyone else may change it.
void CommitClose(Commit* commit, const wchar_t* path);

// Closes the file when still open and releases the hold.
void CommitEnd(Commit* commit);

#endif
