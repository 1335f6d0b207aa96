// writer_internal.h -- the writer's pieces that a repack and a save share:
// writing the records that need bytes and the directory into a file from a
// given offset, what that will take, and the header's fields. How the file
// then takes the change is commit.h's.
#ifndef CASKWRIGHT_WRITER_INTERNAL_H
#define CASKWRIGHT_WRITER_INTERNAL_H

#include <stdint.h>

#include "grf.h"

struct PlatformFile;

// Where a record's stored bytes are in the written file and the fields its
// directory record gets, kept apart from the table so that a failed write
// leaves the table as it was.
struct Placed {
    uint64_t position;  // absolute file offset
    uint32_t compressedSize;
    uint32_t alignedSize;
    uint32_t realSize;
    uint8_t type;
};

// One pass of the writer over archive's table in version's layout.
// keepOwn: records already stored in archive's own file (owner archive, not
// local) stay where they are, with their own fields and type, and nothing of
// them is written (a save); otherwise every record is written (a repack).
// Writes start at `start` in file (open for writing, positioned there);
// every other record not marked deleted gets its bytes written, then the
// directory follows, and everything is handed to the system (not flushed).
struct TableWrite {
    GrfArchive* archive = nullptr;
    uint32_t version = 0;
    bool keepOwn = false;
    PlatformFile* file = nullptr;
    uint64_t start = 0;
    // Results: one Placed per record of the table (deleted ones left zero),
    // owned by the caller (PlatformFree) also after a failure.
    Placed* placed = nullptr;
    uint64_t directoryStart = 0;
    uint64_t end = 0;      // the offset after the directory
    uint32_t records = 0;  // records in the directory
};

// Progress: per record written, (record, index, total) with the table's
// index and count for a repack, and counting only the records written for a
// save; nonzero stops with GRF_ERROR_CANCELLED. Returns GRF_OK or the codes
// of GrfRepack's data and directory (GRF_ERROR_WRITE also when a position
// would pass what the version's offsets address).
uint32_t WriteTable(TableWrite* write, GrfProgressCallback progress);

// GRF_OK when every record the table would write fits version's layout;
// GRF_ERROR_WRITE for an empty name in a 0x2xx table, which ends there.
uint32_t CheckNames(const GrfArchive* archive, uint32_t version);

// The bytes WriteTable will add: the stored bytes of the records it writes
// (archive records exactly, local files by their current size: an
// estimate) and the directory (exact for 0x1xx, the most its deflated form
// can take for 0x2xx).
uint64_t TableBytes(const GrfArchive* archive, uint32_t version, bool keepOwn);

// The largest file offset plus one that version's offsets can address.
uint64_t PositionLimit(uint32_t version);

// True when the record is one a save keeps where it is.
bool IsKeptInPlace(const GrfArchive* archive, const GrfEntry& entry);

// The header's count field for records directory records and seed.
inline uint32_t CountField(uint32_t records, uint32_t seed) {
    return records + seed + 7;
}

#endif
