// file_lock.h -- who may read or change an archive's file meanwhile. A writer
// in place holds the file exclusively from reading the state it will write
// over until its header switch is on the disk; readers hold it shared while
// they read, so a writer cannot switch the directory under them. Locks are
// between programs (platform.h); within this program a hold on a file it
// already holds exclusively is taken at once, so a program's own reads and
// its own save inside a lock it took (GrfLockArchive) never wait for it.
// Holds are taken and released by one thread at a time, as the engine's
// calls are.
#ifndef CASKWRIGHT_FILE_LOCK_H
#define CASKWRIGHT_FILE_LOCK_H

#include <stdint.h>

#include "grf.h"

struct FileHold {
    int slot = -1;      // in this program's table of held files; -1 none
    GrfFileStamp file;  // the identity of the file held (device and file)
};

// Holds the file at path, opened anew for the lock. GRF_OK;
// GRF_ERROR_IN_USE when another program holds it in a way that conflicts
// and waiting is off (GrfSetLockWait) or was interrupted, or when this
// program reads it while asking to change it; GRF_ERROR_NOT_FOUND when it
// does not open (exclusive: for writing); GRF_ERROR_MEMORY when this
// program holds too many files already.
uint32_t HoldFile(const wchar_t* path, bool exclusive, FileHold* hold);
// A reader's hold on archive's file: GRF_OK (held, or nothing to hold: a
// file that does not open fails the read itself, as it would without the
// hold) or GRF_ERROR_IN_USE.
uint32_t HoldForReading(const GrfArchive* archive, FileHold* hold);
// Whether the hold is on the file stamp describes.
bool HoldsFileOf(const FileHold& hold, const GrfFileStamp& stamp);
// Releases the hold (one that holds nothing does nothing).
void ReleaseFile(FileHold* hold);

#endif
