// archive_internal.h -- what the engine's files share about an archive's
// table beyond the public model: growing it, and the index by name that makes
// lookups constant-time.
#ifndef CASKWRIGHT_ARCHIVE_INTERNAL_H
#define CASKWRIGHT_ARCHIVE_INTERNAL_H

#include "grf.h"

// Bytes of a name up to its NUL, or GRF_NAME_SIZE when the field holds none
// within its size (such names never enter a table).
size_t NameLength(const char* name);

// The index maps each name to the first record of that name in table order,
// deleted ones included. It is built at open and kept current by every
// operation that appends records; replacing a record in place keeps its name,
// so it needs no update. Names in the table never change.

// (Re)builds the index over records [0, count). False when out of memory.
bool NameIndexBuild(GrfArchive* archive);
// Records that record `index` was appended; keeps an existing first record.
// False when out of memory (the index is then unchanged).
bool NameIndexAdd(GrfArchive* archive, uint32_t index);
// Makes room for `records` records in all, so that adding up to that many
// never needs memory. False when out of memory (the index is unchanged).
bool NameIndexReserve(GrfArchive* archive, uint32_t records);
// The first record named name, or null.
GrfEntry* NameIndexFind(const GrfArchive* archive, const char* name);
void NameIndexFree(GrfArchive* archive);

// Makes room for `more` records past count, growing the allocation
// geometrically; new space is zero. False when out of memory (nothing
// changes). entriesSize and count are the caller's to update.
bool ReserveEntries(GrfArchive* archive, uint32_t more);

#endif
