// archive_internal.h -- what the engine's files share about an archive's
// table beyond the public model: growing it, the index by name that makes
// lookups constant-time, opening the file that holds a record's bytes, and
// the entry cipher in pieces.
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
// Forgets records from `records` on, which the table no longer holds (it
// was cut back to that count). Needs no memory: the slots are reused.
void NameIndexCut(GrfArchive* archive, uint32_t records);
// The first record named name, or null.
GrfEntry* NameIndexFind(const GrfArchive* archive, const char* name);
void NameIndexFree(GrfArchive* archive);

// Makes room for `more` records past count, growing the allocation
// geometrically; new space is zero. False when out of memory (nothing
// changes). entriesSize and count are the caller's to update.
bool ReserveEntries(GrfArchive* archive, uint32_t more);

// Local-file records: each keeps the path of the file that holds its
// content, kept beside the table (engine-private, by record index).
// LocalFileReserve makes room for one more path (false when out of memory,
// nothing changed); LocalFileAdd then keeps a copy of path for record index,
// which must be above every index kept so far (false when out of memory).
bool LocalFileReserve(GrfArchive* archive);
bool LocalFileAdd(GrfArchive* archive, uint32_t index, const wchar_t* path);
// The path kept for record index, or null when none is.
// Drops the path LocalFileAdd kept last when it is record index's.
void LocalFileForget(GrfArchive* archive, uint32_t index);
const wchar_t* LocalFileOf(const GrfArchive* archive, uint32_t index);
void LocalFilesFree(GrfArchive* archive);
// The file of local-file record index: the path kept for it, or one made in
// buffer (capacity characters) from GrfLocalBaseDir and its name; null when
// it does not fit.
const wchar_t* LocalPath(const GrfArchive* archive, uint32_t index, wchar_t* buffer,
                         size_t capacity);

// Whether the watcher of the open running on this thread asked to stop
// (GrfOpenWatched): the directory's reader then ends with
// GRF_ERROR_CANCELLED.
bool OpenStopped();

struct PlatformFile;
struct libdeflate_decompressor;

// The archives GrfOpen opened and GrfClose has not closed yet: what a write
// must never replace. RememberOpenArchive is false when out of memory.
bool RememberOpenArchive(GrfArchive* archive);
void ForgetOpenArchive(const GrfArchive* archive);
// Whether identity (its device and file) is the file of an open archive.
bool IsOpenArchiveFile(const GrfFileStamp& identity);

// The code of a file that did not open: GRF_ERROR_ACCESS when the system
// refused it (permission, read-only, in use), else GRF_ERROR_NOT_FOUND.
uint32_t OpenFailure(void);

// Opens archive's file by its path: GRF_OK, GRF_ERROR_NOT_FOUND when it does
// not open (GRF_ERROR_ACCESS when refused), GRF_ERROR_CHANGED (closed again)
// when it is no longer the file the archive was opened from.
uint32_t OpenArchiveFile(const GrfArchive* archive, PlatformFile** file);
// GRF_OK while file (of archive, open) is as it was when the archive was
// opened, else GRF_ERROR_CHANGED.
uint32_t CheckArchiveFile(const GrfArchive* archive, PlatformFile* file);
// Opens the file of entry's owner for reading its stored bytes (reads say
// where): GRF_OK; GRF_ERROR_NOT_FOUND (no owner: a local-file record; or
// the file does not open), GRF_ERROR_CHANGED or GRF_ERROR_READ (the stored
// bytes reach beyond the file), with nothing left open.
uint32_t OpenStored(const GrfEntry& entry, PlatformFile** file);
// Whether entry's stored bytes are there to read in its owner's file (open
// and checked with CheckArchiveFile): GRF_OK, GRF_ERROR_NOT_FOUND or
// GRF_ERROR_READ as OpenStored.
uint32_t StoredPlace(const GrfEntry& entry);

// The stored bytes of small entries read ahead in one piece, for a caller
// reading many entries of one file: one read then serves the entries that
// follow in the file instead of one read each; and the decompressor its
// entries were inflated with, kept for the next. Empty at first; belongs to
// one file (FreeReadWindow when it changes) and one thread.
struct ReadWindow {
    uint8_t* bytes = nullptr;  // kept from the first read ahead on
    uint64_t start = 0;        // where in the file bytes[0] was read
    uint32_t size = 0;         // how many bytes were read there
    uint64_t lastEnd = 0;      // where the last entry read through it ends
    // Kept for the next entry.
    libdeflate_decompressor* inflater = nullptr;
};
void FreeReadWindow(ReadWindow* window);
// Whether window holds entry's stored bytes (its owner's, as read ahead).
bool WindowHolds(const ReadWindow& window, const GrfEntry& entry);

// Reads entry's content (deciphered and inflated, as GrfReadEntry gives it)
// from file, its owner's, open and checked, through window when there is
// one: GRF_OK with a new buffer (PlatformFree) of realSize + 1024 bytes,
// zero past the content, or the codes of GrfReadEntry.
uint32_t ReadContentFrom(const GrfEntry& entry, PlatformFile* file, uint8_t** content,
                         ReadWindow* window = nullptr);

// The entry cipher of GrfCipherEntryData, applied to an entry's stored bytes
// piece by piece: each call takes the next `blocks` whole 8-byte blocks.
struct EntryCipher {
    uint64_t adjusted;  // the cycle as the walk uses it
    uint64_t next;      // index of the next block in the entry
    uint64_t counter;   // plain blocks since the last shuffle
    uint64_t multiple;  // the next block past the header to transform
    bool headerOnly;
    bool decipher;
};
void EntryCipherStart(EntryCipher* cipher, int32_t cycle, bool headerOnly, bool decipher);
void EntryCipherRun(EntryCipher* cipher, uint8_t* buffer, uint64_t blocks);

// Extraction runs that write under root instead of the current directory
// (null when out of memory or root does not open), and the removal of the
// file a record's name would extract to within such a run: GRF_OK when it
// is gone or was never there, GRF_ERROR_UNSAFE_NAME for a name extraction
// refuses (or a link on the way), GRF_ERROR_OUTPUT when it cannot be
// removed (a folder of that name), GRF_ERROR_MEMORY.
GrfExtractRun* BeginExtractRunAt(const wchar_t* root);
uint32_t RemoveInRun(GrfExtractRun* run, const char* name);

#endif
