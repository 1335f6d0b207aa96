/*
 * grf.h -- the Caskwright archive engine.
 *
 * Opens GRF/GPF archives of format versions 0x1xx (enciphered directory
 * names and entry data), 0x2xx (zlib-compressed directory) and 0x300 (the
 * 0x2xx layout with 64-bit positions, for archives past 4 GB), reads and
 * extracts entries, edits the entry table in memory (adding local files,
 * merging a second archive, marking deletions), searches names by wildcard,
 * and writes the edited table as a new archive file or into the archive's
 * own file.
 *
 * A first program: list an archive, read and extract entries, add a file
 * and save.
 *
 *     GrfArchive* archive = GrfOpen(L"data.grf", NULL);
 *     if (archive == GRF_NO_ARCHIVE) return GrfLastError;   // the reason, GRF_ERROR_*
 *     for (uint32_t i = 0; i < archive->count; ++i)
 *         printf("%s %u\n", archive->entries[i].name, archive->entries[i].realSize);
 *     uint32_t size;
 *     uint8_t* content = GrfReadRecord(archive, 0, &size);  // NULL: see GrfLastError
 *     GrfFreeBuffer(content);
 *     uint32_t records[2] = {0, 1}, results[2];
 *     GrfExtractRecords(archive, records, 2, 0, NULL, results);  // under the current folder
 *     GrfAddLocalFile(archive, L"data\\new.txt", L"new.txt");
 *     GrfSave(archive, NULL);  // into data.grf itself, safe against a crash
 *     GrfClose(&archive);
 *
 * The calls by task (the sections below are in this order):
 *  - Open and close: GrfOpen (archives, THOR and RGZ patches), GrfCreate,
 *    GrfClose; GrfOpenWatched for an open that shows rows as they come.
 *  - Find and read: GrfFindEntry, GrfReadRecord, GrfReadRecords and
 *    GrfReadRecordsParallel for many; GrfFileName for the file name an
 *    entry extracts to.
 *  - Extract: GrfExtractRecords (many, on every core), or GrfBeginExtractRun,
 *    GrfExtractInRun, GrfEndExtractRun one by one; GrfExtractRecord alone.
 *  - Edit the table: GrfAddLocalFile, GrfAddFile, GrfMerge, a record's
 *    state GRF_ENTRY_DELETED; GrfFindFirst/GrfFindNext filter by wildcard.
 *  - Write: GrfSave into the archive's own file, GrfRepack to a new one
 *    (GrfSetVersion, GrfSetCompressionLevel first).
 *  - Patches: GrfPatchOf, GrfApplyPatch, GrfApplyLoosePatch, GrfWritePatch,
 *    GrfWriteRgz, GrfApplyFiles.
 *  - Others at once: GrfSetLockWait, GrfLockArchive/GrfUnlockArchive.
 *  - Keyed entries: GrfSetPassword, GrfSetKey, GrfSetWriteKey.
 *  - A whole client: GrfOpenClient, GrfFindClientName, GrfReadClientName,
 *    GrfExtractClientName, GrfCloseClient.
 *  - Errors: every failure leaves a GRF_ERROR_* code in GrfLastError.
 *  - The cipher and cycle helpers (GrfCycleFromName, GrfCipherEntryData...)
 *    are public for callers that handle stored bytes themselves.
 *  - Kept for compatibility (see their section at the end): the calls by
 *    wide name (GrfReadEntry, GrfReadEntryRaw, GrfExtractEntry: the record
 *    calls above reach every record), and the unprefixed Cp949ToWide,
 *    WideToCp949, CreatePathDirectories and ENTRY_* names.
 *
 * Conventions that hold for every operation below:
 *  - Failures return null, GRF_NO_ARCHIVE, -1, 0 or 1 as each contract says
 *    and leave the reason in GrfLastError (codes in GrfErrorCode). Lookups,
 *    reads and searches also reset it to GRF_OK on success.
 *  - Memory handed out is zero-filled and belongs to the caller, who releases
 *    it with GrfFreeBuffer (on Windows a plain HeapFree on the process heap
 *    works too).
 *  - No file stays open between calls (but for a GrfLockArchive lock): each
 *    operation opens the archive by the absolute path kept in it and closes
 *    it before returning, and fails with GRF_ERROR_CHANGED when the file is
 *    no longer the one opened.
 *  - Archive names are 8-bit code page 949 text with backslash separators,
 *    compared byte for byte and case-sensitively. User text is wide.
 *  - Where a contract gives GRF_ERROR_NOT_FOUND for a file that does not
 *    open, GRF_ERROR_ACCESS stands in its place when the system refused it
 *    (no permission, read-only, in use by another program).
 *  - Single-threaded: GrfLastError and the repack settings are plain globals.
 *
 * From CMake: find_package(caskwright) and link caskwright::engine. Otherwise
 * pkg-config --cflags --libs caskwright, or link the static library and what
 * it uses: -lcaskwright_engine -ldeflate -llzma -lz -pthread.
 */
#ifndef CASKWRIGHT_GRF_H
#define CASKWRIGHT_GRF_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header; GrfVersion gives the library's, so a program
   can check that what it linked is what it was built with:
   GrfVersion() >> 16 == GRF_VERSION_MAJOR. */
#define GRF_VERSION_MAJOR 1
#define GRF_VERSION_MINOR 1
#define GRF_VERSION_PATCH 0
#define GRF_VERSION_NUMBER \
    ((GRF_VERSION_MAJOR << 16) | (GRF_VERSION_MINOR << 8) | GRF_VERSION_PATCH)

/* The library's GRF_VERSION_NUMBER: major << 16 | minor << 8 | patch. */
uint32_t GrfVersion(void);

/* ---------------------------------------------------------------------------
 * Error codes left in GrfLastError.
 *
 * The numbers never change: callers keep them in their code and compare
 * GrfLastError with them, and the program's messages show them to users, so
 * a number must mean tomorrow what it means today. Most are the Windows
 * system error numbers of like meaning (2 file not found, 6 invalid handle,
 * 8 not enough memory, 13 invalid data, 18 no more files, 25 seek, 29 write
 * fault, 30 read fault), which is why GrfOpen can hand a failed read's own
 * system code through beside them. Codes added later take the next free
 * number; none is ever reused.
 */
enum GrfErrorCode {
    GRF_OK = 0,                   /* success */
    GRF_ERROR_CANCELLED = 1,      /* the progress callback asked to stop */
    GRF_ERROR_NOT_FOUND = 2,      /* a file does not open, the named entry is not
                                     in the table, no entry matches the filter, or
                                     the output file cannot be created (or exists) */
    GRF_ERROR_VERSION = 3,        /* major version neither 1, 2 nor 3 */
    GRF_ERROR_HANDLE = 6,         /* GRF_NO_ARCHIVE or a null archive (from every
                                     call that takes one), or a null or -1
                                     block/search */
    GRF_ERROR_MEMORY = 8,         /* out of memory, or a directory of more records
                                     than a table can hold */
    GRF_ERROR_NOT_ARCHIVE = 13,   /* no header text, directory out of reach;
                                     stored bytes unreadable during a repack */
    GRF_ERROR_NO_MORE = 18,       /* no further entry matches the filter */
    GRF_ERROR_SEEK = 25,          /* positioning at an entry's stored bytes failed */
    GRF_ERROR_WRITE = 29,         /* writing the new archive failed, or it would
                                     pass what its version can address */
    GRF_ERROR_READ = 30,          /* reading stored bytes or a local file failed,
                                     or the entry's sizes reach beyond its bytes */
    GRF_ERROR_INFLATE = 31,       /* an entry's data does not inflate to its
                                     recorded real size */
    GRF_ERROR_UNSAFE_NAME = 32,   /* extraction refused a name that would write
                                     outside the current directory or through a
                                     link, or one Windows would change or take as
                                     a device (see GrfExtractEntry) */
    GRF_ERROR_OUTPUT = 33,        /* an extracted file could not be created or
                                     written in full (nothing partial is left) */
    GRF_ERROR_LOCAL_RECORDS = 34, /* GrfMerge given an archive that holds
                                     local-file records, whose data only a
                                     repack of that archive would keep */
    GRF_ERROR_CHANGED = 35,       /* the archive's file changed on disk since it
                                     was opened: open it again */
    GRF_ERROR_METHOD = 36,        /* the entry is stored in a way Caskwright does
                                     not read (other compression or encryption),
                                     or would be enciphered by a 0x1xx repack */
    GRF_ERROR_DUPLICATE = 37,     /* in one extraction run, a record whose file an
                                     earlier record of the run already wrote */
    GRF_ERROR_IN_USE = 38,        /* another program is changing the archive's
                                     file (or, for a change, reading it): try
                                     again when it has finished (GrfSetLockWait) */
    GRF_ERROR_ACCESS = 39,        /* the system refused to open a file: no
                                     permission, read-only, or in use by another
                                     program (where GRF_ERROR_NOT_FOUND would say
                                     it is missing) */
    GRF_ERROR_OPEN_ARCHIVE = 40,  /* the file to write or remove is the file of an
                                     archive open in this process (an entry
                                     named like its own archive): left as it is */
    GRF_ERROR_NOT_IN_PLACE = 41,  /* the archive's file cannot take a save in
                                     place (a 0x1xx file with bytes after its
                                     directory that would read as a record):
                                     GrfRepack writes it anew */

    /* the password does not open this entry (a keyed record, another key) */
    GRF_ERROR_PASSWORD = 42,
    /* encrypted: needs a password (a keyed record, no key set) */
    GRF_ERROR_NEEDS_PASSWORD = 43,
    /* a password takes 4 to 256 bytes */
    GRF_ERROR_PASSWORD_LENGTH = 44,
    /* the patch file ends before its end record (RGZ) */
    GRF_ERROR_CUT_SHORT = 45,
    GRF_ERROR_NO_CLIENT = 46 /* a client folder with no archive the client
                                would read, nor a loose folder asked for */
    /* Any other value: the operating system's error code of a failed read of
       an archive's header or directory (GrfOpen). */
};

/* ---------------------------------------------------------------------------
 * Archive model.
 */

/* GrfEntry.state flags. Combinations that occur: 0x01 opened, 0x06 added from
   a local file, 0x05 appended by a merge, 0x09 replaced by a merge, 0x10
   deleted. */
#define GRF_ENTRY_IN_ARCHIVE 0x01 /* stored bytes are in the owner's archive file */
#define GRF_ENTRY_ON_DISK 0x02    /* content is a local file to be packed */
#define GRF_ENTRY_NEW 0x04        /* not in the archive as loaded */
#define GRF_ENTRY_REPLACED 0x08   /* a merged archive's record took this place */
#define GRF_ENTRY_DELETED 0x10    /* dropped: the writer skips it */

#define GRF_HEADER_SIZE 46
#define GRF_NAME_SIZE 108 /* name field: at most 107 bytes and a NUL */
#define GRF_NAME_MAX 107  /* the longest name every reader and writer takes */
#define GRF_PATH_SIZE 772 /* archive path: at most 771 wide characters */

typedef struct GrfArchive GrfArchive;
typedef struct GrfNameIndex GrfNameIndex;
typedef struct GrfLocalFiles GrfLocalFiles;
typedef struct GrfPatchInfo GrfPatchInfo;
typedef struct GrfKeys GrfKeys;

/* GrfEntry.cycle of an entry whose type byte marks an encryption Caskwright
   does not have (type bit 0x80, or any type beyond 0x01, 0x03 and 0x05 that
   marks a file): it is listed, refused on reading with GRF_ERROR_METHOD, and
   copied as stored, with its type byte, by repacks to 0x2xx and 0x300. */
#define GRF_CYCLE_FOREIGN (-2)

/* Fields are ordered widest first so that the 64-bit position costs no
   padding: 144 bytes with 64-bit pointers, as with the 32-bit position. */
typedef struct GrfEntry {
    GrfArchive* owner;        /* archive whose file holds the stored bytes;
                                 null for a local-file entry */
    uint64_t position;        /* absolute file offset of the stored bytes */
    uint32_t compressedSize;  /* length of the stored stream */
    uint32_t alignedSize;     /* number of stored bytes */
    uint32_t realSize;        /* size after inflating */
    uint32_t version;         /* version field of the archive read from */
    uint8_t type;             /* directory record's type byte */
    int8_t cycle;             /* -1 plain, 0 header-only, >= 1 mixed cipher,
                                 GRF_CYCLE_FOREIGN not read by Caskwright */
    char name[GRF_NAME_SIZE]; /* code page 949, NUL-terminated, zero-filled */
    uint8_t state;            /* GRF_ENTRY_* flags */
} GrfEntry;

/* What an archive's file was when the engine opened it: size, modification
   time and identity. Engine-private. */
typedef struct GrfFileStamp {
    uint64_t size;
    int64_t time;    /* in the system's own units */
    uint64_t device; /* the volume */
    uint64_t file;   /* the file on that volume */
} GrfFileStamp;

struct GrfArchive {
    wchar_t path[GRF_PATH_SIZE];     /* the absolute form of the path given to
                                        GrfOpen or GrfCreate */
    GrfEntry* entries;               /* the table; null until it has a record */
    uint32_t entriesSize;            /* count * sizeof(GrfEntry) */
    uint8_t header[GRF_HEADER_SIZE]; /* as read; all zero after GrfCreate */
    uint32_t count;                  /* records in the table */

    /* Engine-private: not part of the model, never touch. */
    uint32_t capacity;         /* records allocated (grows geometrically) */
    GrfNameIndex* index;       /* first record of each name, for lookups */
    GrfFileStamp stamp;        /* the file as opened; all zero after GrfCreate */
    GrfLocalFiles* localFiles; /* where local-file records' contents are */
    GrfPatchInfo* patch;       /* set when opened from a patch file */
    uint64_t directoryEnd;     /* file offset where the directory as read ends */
    GrfKeys* keys;             /* password keys for reading and writing, or null */
    wchar_t* unpacked;         /* an RGZ's stream unpacked: the file reads open */
};

/* The handle value that means "no archive" everywhere. */
#define GRF_NO_ARCHIVE ((GrfArchive*)-1)

/* Engine-wide last error; see GrfErrorCode. */
extern uint32_t GrfLastError;

/* Called by long operations. entry is the record being worked on (null while
   opening), index counts up to total. A nonzero result asks to stop (GrfOpen
   ignores it). */
typedef int32_t (*GrfProgressCallback)(GrfEntry* entry, uint32_t index, uint32_t total);

/* ---------------------------------------------------------------------------
 * Opening and closing.
 */

/* Opens the archive at path, reads its header and whole directory, and builds
   the entry table. The archive keeps the absolute form of path, so a later
   change of the current directory does not lose it, and the file's size,
   modification time and identity, so later operations notice the file being
   changed or replaced (GRF_ERROR_CHANGED). The directory is read in pieces
   of bounded size, whatever the file claims. progress (may be null) is called
   once per directory record with (null, entries kept so far, entries
   expected).
   Returns the archive, owned by the caller (release with GrfClose), or
   GRF_NO_ARCHIVE with GrfLastError: GRF_ERROR_NOT_FOUND when the file does
   not open (or its absolute path is longer than 771 characters),
   GRF_ERROR_VERSION for an unsupported version, GRF_ERROR_MEMORY (also for a
   directory of more records than entriesSize can count),
   GRF_ERROR_NOT_ARCHIVE when there is no header text or the directory is out
   of reach, GRF_ERROR_IN_USE while another program changes the file (see
   GrfSetLockWait), other values the system's code of a failed header or
   directory read. A directory whose own numbers are inconsistent ends the parse early:
   the archive keeps the entries before. Names of up to GRF_NAME_MAX bytes are
   read in every layout. The header may carry either text in use ("Master of
   Magic" or "Event Horizon") whatever its version; the version field alone
   picks the layout. A 0x300 header whose 64-bit directory offset would pass
   2^40 holds the 0x2xx fields (32-bit offset, biased count) and is read so.
   0x2xx and 0x300 records whose type marks a file but an encryption
   Caskwright lacks are kept with cycle GRF_CYCLE_FOREIGN; folders are left
   out. A patch file opens too, recognised by its own text: see "Patch
   files" below for its table and its codes. */
GrfArchive* GrfOpen(const wchar_t* path, GrfProgressCallback progress);

/* Watches an open (GrfOpenWatched) as its directory is read, on the opening
   thread. entries[0, filled) are the records read so far: complete, never
   written again and kept where they are until the open returns; expected
   counts the records the directory holds. A patch file's records are not
   shown (entries null, filled 0). Called once more with entries null and
   every count 0 just before a failed or stopped open releases its table:
   records seen before must not be touched after that call. A nonzero
   result stops the open. */
typedef int32_t (*GrfOpenWatch)(void* context, const GrfEntry* entries, uint32_t filled,
                                uint32_t expected);

/* GrfOpen, with the table shown to watch (may be null) as it is read, and a
   way to stop: the watch's nonzero result ends the open with
   GRF_ERROR_CANCELLED. The result's code is also left in *code (may be
   null), so a caller on another thread need not read GrfLastError. Other
   results as GrfOpen gives them. */
GrfArchive* GrfOpenWatched(const wchar_t* path, GrfOpenWatch watch, void* context, uint32_t* code);

/* Makes an empty archive (no records, header all zero) for a file that does
   not exist yet, keeping the absolute form of path. Returns it, or
   GRF_NO_ARCHIVE with GRF_ERROR_MEMORY or GRF_ERROR_NOT_FOUND (absolute path
   longer than 771 characters). */
GrfArchive* GrfCreate(const wchar_t* path);

/* Releases *archive and its table and sets *archive to GRF_NO_ARCHIVE.
   Returns 0, or 1 (doing nothing) when *archive is already GRF_NO_ARCHIVE.
   Archives merged into it are not released: their records still name them.
   GrfLastError is not touched. */
int GrfClose(GrfArchive** archive);

/* Returns GrfLastError. */
uint32_t GrfGetLastError(void);

/* The cipher cycle of a 0x1xx entry: 0 when the name has no "." or the rest of
   the name from its first "." is exactly ".gnd", ".gat", ".act" or ".str";
   otherwise the number of decimal digits of compressedSize (1 to 10). */
int8_t GrfCycleFromName(const char* name, uint32_t compressedSize);

/* The cipher cycle of a 0x2xx entry: type 3 gives the digit count of
   compressedSize, type 5 gives 0, any other type -1. */
int8_t GrfCycleFromType(uint8_t type, uint32_t compressedSize);

/* Formats a wide printf format with two numbers into a 2048-character buffer
   and sends it to the debugger output. */
void GrfDebugPrint(const wchar_t* format, int32_t first, int32_t second);

/* ---------------------------------------------------------------------------
 * Cipher. No key: what varies per entry is its cycle. All transforms work in
 * place on whole 8-byte blocks: a length that is not a multiple of 8 still
 * transforms the whole last block, so buffers must be padded by their owners.
 */

/* Transforms every 8-byte block that starts below length (nothing for a
   length of 0 or less). Its own inverse. */
void GrfCipherBlocks(uint8_t* buffer, int32_t length);

/* Deciphers (direction 0) or enciphers (nonzero) an entry's stored bytes.
   headerOnly nonzero: only the first 20 blocks are transformed; zero: mixed
   mode steered by cycle. Callers pass headerOnly exactly when cycle is 0 and
   call it only for cycles of 0 or more. */
void GrfCipherEntryData(uint8_t* buffer, uint32_t length, int headerOnly, int32_t cycle,
                        int direction);

/* Decodes (decode nonzero) or encodes a 0x1xx directory name of length bytes
   in place; returns buffer. */
uint8_t* GrfCipherName(uint8_t* buffer, uint32_t length, int decode);

/* ---------------------------------------------------------------------------
 * Lookup, reading and extraction.
 */

/* Returns the first record in table order whose name equals name byte for
   byte (deleted records included), with GRF_OK; or null with
   GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or null) or GRF_ERROR_NOT_FOUND (not
   found, or an empty table). Constant time: the
   archive keeps an index by name. */
GrfEntry* GrfFindEntry(GrfArchive* archive, const char* name);

/* Reads the named record's alignedSize stored bytes (still enciphered and
   compressed) into a new zero-filled buffer of alignedSize + 1024 bytes and
   stores alignedSize through outSize (may be null). Returns the buffer, owned
   by the caller, with GRF_OK; or null with GRF_ERROR_HANDLE,
   GRF_ERROR_NOT_FOUND (file does not open or name not found),
   GRF_ERROR_CHANGED (the file is no longer the one opened), GRF_ERROR_SEEK,
   GRF_ERROR_MEMORY, GRF_ERROR_READ (read failed, or the stored bytes reach
   beyond the end of the file). */
void* GrfReadEntryRaw(GrfArchive* archive, const char* name, uint32_t* outSize);

/* Reads, deciphers and decodes the named record's content into a new
   zero-filled buffer of realSize + 1024 bytes and stores realSize through
   outSize (may be null). An entry whose realSize is 0 reads as empty content.
   Deciphered stored bytes that start with a zlib header are inflated; those
   that do not but whose compressedSize equals realSize are the content as
   they stand; a first byte 0 is LZMA (the 5 property bytes, then a raw
   LZMA1 stream of realSize bytes); anything else, and every entry of cycle
   GRF_CYCLE_FOREIGN, is stored in a way Caskwright does not read. Returns
   the buffer, owned by the caller, with GRF_OK; or null with
   GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or null), GRF_ERROR_NOT_FOUND (file does not open or
   name not found), GRF_ERROR_CHANGED (the file is no longer the one opened),
   GRF_ERROR_SEEK, GRF_ERROR_MEMORY, GRF_ERROR_READ (read failed or sizes
   reach beyond the stored bytes or the file), GRF_ERROR_INFLATE (data does
   not inflate or decode to realSize), GRF_ERROR_METHOD (stored in a way
   Caskwright does not read). A name that
   does not convert to wide text and back cannot be found this way:
   GrfReadRecord reads any record. */
void* GrfReadEntry(GrfArchive* archive, const wchar_t* name, uint32_t* outSize);

/* Releases a block the engine handed out (entry buffer, converted string,
   search). Returns 1 with GRF_OK; 0 with GRF_ERROR_HANDLE for null or -1. */
int GrfFreeBuffer(void* block);

/* Converts code page 949 text to a new wide string, or wide text to a new
   code page 949 string ("?" for characters it lacks). Owned by the caller;
   null only when out of memory. */
wchar_t* GrfCp949ToWide(const char* text);
char* GrfWideToCp949(const wchar_t* text);

/* Creates each directory named along path before each backslash (never the
   last component), ignoring failures. path is changed during the call and
   restored. Returns 1. */
int GrfCreatePathDirectories(wchar_t* path);

/* Extracts the record named name (wide) from owner into the file of that
   relative path under the current directory ("\\" and "/" both separate),
   replacing an existing file and creating folders on demand.
   An entry of up to 64 MB is inflated in memory at once, a larger one to
   the file in pieces, so memory stays bounded whatever the entry's size
   (about 128 MB at most per extraction worker). The content goes to a new file of a temporary
   name in the final folder and takes its name only once it is complete, so
   a failure or a kill at any moment leaves no partial file under the name.
   A free name is taken without replacing a file that appears there
   meanwhile. An existing file is never written into: the new file is
   flushed to disk first and renamed over it, so another hard link to the
   old file keeps its content, a link in its place is replaced, not
   followed, and on any failure the old file stays exactly as it was. No
   temporary file remains.
   Folders on the way are walked without following links: an existing one
   that is a symbolic link, junction or other reparse point refuses the
   name. Windows refuses as well a final name that is a reparse
   point, any component that is a device name (CON, PRN, AUX, NUL, CONIN$,
   CONOUT$, COM1 to COM9, LPT1 to LPT9, also with an extension or with the
   digits written as superscripts) or ends in a dot or a space (which Windows
   would drop), and any colon (a stream of another file).
   Returns 0, or a code (also left in GrfLastError): the codes of
   GrfReadEntry, GRF_ERROR_UNSAFE_NAME for a name that is absolute, has a
   drive or a leading separator or a ".." component, or is refused as above,
   GRF_ERROR_OUTPUT for a file that cannot be created or written in full or
   a folder that cannot be made (nothing partial is left: neither the file
   nor folders made for it), GRF_ERROR_OPEN_ARCHIVE when what has that name
   is the file (the same device and file, a hard link too) of an archive
   open in this process (GrfOpen, not yet GrfClose: the archive read from,
   an archive merged in, a patch being applied), which is left as it is. */
uint32_t GrfExtractEntry(GrfArchive* owner, const wchar_t* name);

/* Reads, deciphers and inflates record index of archive's table (deleted
   records included) from the file of the record's owner, at the record's own
   position with its own sizes and cycle. This is what GrfReadEntry gives for
   the record's owner and name, and it works as well for a record whose name
   does not convert to wide text and back, or that shares its name with an
   earlier record. Returns a new zero-filled buffer of realSize + 1024 bytes,
   owned by the caller, and stores realSize through size (may be null), with
   GRF_OK; or null with GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or null),
   GRF_ERROR_NOT_FOUND (index not below count, a local-file record, which has
   no owner, or the owner's file does not open), and the other codes of
   GrfReadEntry. */
uint8_t* GrfReadRecord(GrfArchive* archive, uint32_t index, uint32_t* size);

/* The relative file name extraction of a record writes for its archive name:
   the name converted from code page 949 to wide text, where each byte that
   does not convert (one that starts no character, or a lead byte whose pair
   is no character) becomes "%XX", the byte's value in two upper-case
   hexadecimal digits, and conversion goes on with the next byte. A name that
   converts whole comes out as Cp949ToWide gives it; a "%" of the name stays
   as it is. Backslashes stay. Returns a new string owned by the caller
   (GrfFreeBuffer), or null when name is null or memory runs out. */
wchar_t* GrfFileName(const char* name);

/* Extracts record index of archive's table (its content as GrfReadRecord
   reads it) into the file GrfFileName gives for its name, under the current
   directory, exactly as GrfExtractEntry writes a file. Returns 0, or a code
   (also left in GrfLastError): those of GrfReadRecord, GRF_ERROR_MEMORY,
   GRF_ERROR_UNSAFE_NAME, GRF_ERROR_OUTPUT and GRF_ERROR_OPEN_ARCHIVE as
   GrfExtractEntry gives them. */
uint32_t GrfExtractRecord(GrfArchive* archive, uint32_t index);

/* ---------------------------------------------------------------------------
 * Extraction runs: several extractions that a user asked for at once (Extract
 * All, or Extract of several rows) sharing one record of the files they
 * wrote, so that a later record of the run never replaces a file an earlier
 * one wrote (names compared after turning "/" into "\\", and on Windows, whose
 * file names ignore case, without regard to case). A run writes under the
 * current directory as it is at its first extraction, and keeps the folders
 * it last wrote into and the archive file it last read open until it ends
 * (the file still checked for changes before every read), so extracting
 * many files costs little more than writing them. Single-threaded: one run
 * is used by one thread at a time.
 */

typedef struct GrfExtractRun GrfExtractRun;

/* Starts a run. Returns it, owned by the caller (GrfEndExtractRun), or null
   with GRF_ERROR_MEMORY. */
GrfExtractRun* GrfBeginExtractRun(void);

/* GrfExtractRecord within run: a record whose file an earlier record of the
   run already wrote is not extracted and gives GRF_ERROR_DUPLICATE (the
   first file stays as written); a record that fails leaves its name free for
   a later one. Returns 0 or a code (also left in GrfLastError): those of
   GrfExtractRecord, GRF_ERROR_DUPLICATE, GRF_ERROR_HANDLE for a null run. */
uint32_t GrfExtractInRun(GrfExtractRun* run, GrfArchive* archive, uint32_t index);

/* The number of records the run refused with GRF_ERROR_DUPLICATE so far
   (0 for a null run). */
uint32_t GrfExtractRunDuplicates(const GrfExtractRun* run);

/* Ends run and releases it; null does nothing. */
void GrfEndExtractRun(GrfExtractRun* run);

/* Extracts the records indices[0..count) of archive into their files under
   the current directory with `threads` workers (0: one per core), each
   record exactly as GrfExtractRecord would and the whole batch as one run:
   a record whose file an earlier record of the batch wrote gives
   GRF_ERROR_DUPLICATE, one whose earlier namesakes all failed is extracted.
   Each record's code goes to results[i] (GRF_OK, a code of GrfExtractInRun,
   GRF_ERROR_NOT_FOUND for an index past the table, GRF_ERROR_CANCELLED for
   one not extracted because of a stop). progress (may be null) is called on
   the caller's thread once per record as it is settled, in record order,
   with (its record, records settled so far, count); a nonzero answer stops
   every worker after the file it is writing, so only whole files are left.
   The result is the same whatever the number of threads. The threads live
   inside this call: the caller stays the only thread in the engine, and
   records are read from the archive files as GrfExtractRecord reads them.
   Returns how many records were extracted, GrfLastError GRF_OK,
   GRF_ERROR_CANCELLED after a stop, GRF_ERROR_MEMORY or GRF_ERROR_IN_USE
   (every result too),
   or GRF_ERROR_HANDLE for no archive or null indices or results with a
   nonzero count (results then untouched). The batch holds archive's file
   shared; while another program changes it, GrfLastError and every result
   are GRF_ERROR_IN_USE and nothing is written. */
uint32_t GrfExtractRecords(GrfArchive* archive, const uint32_t* indices, uint32_t count,
                           uint32_t threads, GrfProgressCallback progress, uint32_t* results);

/* ---------------------------------------------------------------------------
 * Repack writer.
 */

extern uint32_t GrfRepackLevel;      /* zlib level for local files, 2..9; 3 */
extern uint32_t GrfRepackVersion;    /* version written; 0x103 */
extern wchar_t GrfLocalBaseDir[260]; /* base folder of local-file records */
/* Workers that deflate local files ahead of the writer: 0 (the default) one
   per core, 1 none (the caller's thread alone). Every file is a zlib stream
   of its own, so the output is the same whatever the number. */
extern uint32_t GrfRepackThreads;

/* Store level when 2 <= level <= 9 / version when it is 0x101..0x103,
   0x200..0x201 or 0x300; any other value is ignored. */
void GrfSetCompressionLevel(uint32_t level);
void GrfSetVersion(uint32_t version);

/* size rounded up to a multiple of 8. */
uint32_t GrfAlign8(uint32_t size);

/* Writes every record not marked deleted into the new file outputPath (which
   must not exist: nothing is ever overwritten) in version GrfRepackVersion:
   the header, each record's data in table order, the directory, the header
   again. Records from archives are copied from their owner's file at their
   own position (never looked up by name), deciphered with their own cycle
   and enciphered with the target's where the two differ; enciphered records
   are written in whole 8-byte blocks. Local-file records are read from
   GrfLocalBaseDir + their name less its first four characters and deflated
   at GrfRepackLevel. Records of cycle GRF_CYCLE_FOREIGN, and records whose
   bytes are stored in a way Caskwright does not read (see GrfReadEntry),
   are copied as stored with their sizes and type byte; a 0x1xx target,
   whose cipher would change their bytes, refuses them. 0x300 archives are
   written with the text "Master of Magic", a 64-bit directory offset and
   64-bit record offsets. progress (may be null) gets (record, index, count)
   per written record; nonzero stops.
   The archive is written under a new temporary name beside outputPath
   (outputPath + "." + random hexadecimal digits + ".tmp"), flushed to disk,
   and only then given the name outputPath; a failed or stopped repack
   removes it, so outputPath either does not exist or holds the whole
   archive. A temporary file that a crash left behind is never reused.
   Before anything is written, the sizes already known (the header and the
   stored bytes of archive records) are added up: when they pass what a
   0x1xx or 0x2xx version's 32-bit offsets can address, the repack fails at
   once with GRF_ERROR_WRITE (GrfOutputBytes gives the whole estimate;
   0x300 has no such limit).
   Returns 0; or 1 with GRF_ERROR_HANDLE (GRF_NO_ARCHIVE), GRF_ERROR_MEMORY,
   GRF_ERROR_NOT_FOUND (output exists or cannot be created, a local file
   does not open), GRF_ERROR_CANCELLED (stopped), GRF_ERROR_NOT_ARCHIVE (an
   owner's file does not open or its stored bytes are unreadable or beyond
   its end), GRF_ERROR_CHANGED (an owner's file changed since it was opened),
   GRF_ERROR_READ (a local file is unreadable or 3.75 GB or larger),
   GRF_ERROR_WRITE (a write failed, the archive would pass the 4 GB its
   offsets can address, or, for a 0x2xx or 0x300 version, a record has an
   empty name, which that layout cannot hold), GRF_ERROR_METHOD (a 0x1xx
   target and a record stored in a way Caskwright does not read). The table
   is never changed. */
int32_t GrfRepack(GrfArchive* archive, const wchar_t* outputPath, GrfProgressCallback progress);

/* The bytes a file written from archive's table in version (0x1xx, 0x2xx or
   0x300) would take: the header, the stored bytes of every record not
   marked deleted (archive records exactly, as the writer would store them;
   local files by their current size, or 0 when they do not open: an
   estimate), and the directory (exact for 0x1xx; for 0x2xx and 0x300 the
   most its deflated form can take). A 0x1xx or 0x2xx version's 32-bit
   offsets address 4 GB (0xFFFFFFFF + 46 bytes); an archive above that needs
   0x300. Returns 0 for GRF_NO_ARCHIVE or null. GrfLastError is not
   touched. */
uint64_t GrfOutputBytes(const GrfArchive* archive, uint32_t version);

/* ---------------------------------------------------------------------------
 * Saving in place.
 */

/* Writes the table's changes into archive's own file and leaves archive
   describing the result. Records already stored in the file stay where they
   are, untouched. The stored bytes of every other record not marked deleted
   (local files deflated at GrfRepackLevel, records of merged archives copied,
   deciphered and enciphered for this archive's version as GrfRepack does)
   are written after the last byte the file holds, then a new directory
   after them; no byte the current header or directory refers to, and no
   byte of the current directory, is written. Then the file is flushed to
   the disk, the header's directory offset and count (bytes 30 to 41, the one
   write into bytes already in use) are rewritten, and the file is flushed
   again. The archive keeps its version; a 0x1xx file whose directory runs
   to its end gets four zero bytes after it first, which end that directory
   where it ended.
   Crash safety: until the header write the file is the old archive plus
   bytes past its end that nothing refers to; after it, the new archive.
   This relies on the 12-byte header write, within the file's first disk
   sector, reaching the disk whole or not at all, as disks write a sector,
   and on flushes that return only once the data is on the disk.
   A failure or a stop before the header write has reached the disk puts
   back the old header bytes when they changed, cuts the file back to its
   old length and leaves the table as it was. Records marked deleted leave
   the new directory; their bytes stay in the file as unused space
   (GrfUnusedBytes). A table without changes writes nothing.
   After a save, every record refers to archive's own file at its place
   there (deleted records are gone from the table, which keeps its order),
   states are GRF_ENTRY_IN_ARCHIVE, the index by name is rebuilt, no local-file
   path is kept, and the file's size and time kept for change detection are
   the new ones: archives merged into it may be closed. Pointers into the
   old table are no longer valid.
   progress (may be null) gets (record, k, n) for each record written, k
   counting the n records written, and then (null, n, n) as the last moment
   to stop; nonzero stops.
   Returns 0; or 1 with GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or null),
   GRF_ERROR_NOT_FOUND (the file does not open for writing, a local file
   does not open, or an archive made by GrfCreate, which has no file yet:
   GrfRepack writes it), GRF_ERROR_CHANGED (the archive's file, or a merged
   archive's, changed since it was opened or last saved), GRF_ERROR_VERSION
   (a version this layout cannot write), GRF_ERROR_ACCESS (the file is
   read-only or in use), GRF_ERROR_CANCELLED,
   GRF_ERROR_MEMORY, GRF_ERROR_NOT_ARCHIVE and GRF_ERROR_READ as GrfRepack
   gives them, GRF_ERROR_WRITE (a write or flush failed; the saved archive
   would pass the 4 GB its version's offsets address, checked before
   anything is written with local files counted at their size; or a 0x2xx
   record with an empty name), GRF_ERROR_NOT_IN_PLACE (a 0x1xx file with
   bytes after its directory that a reader would take for a record once more
   bytes follow them: GrfRepack writes such archives afresh), GRF_ERROR_IN_USE
   (another program reads or changes the file: nothing was written). */
int32_t GrfSave(GrfArchive* archive, GrfProgressCallback progress);

/* The size archive's file would have after GrfSave: what it holds now, and
   the bytes GrfSave would add (local files counted at their size, the
   directory at the most it can take: an estimate). The file as it is when
   nothing changed; 0 for GRF_NO_ARCHIVE, null or an archive made by
   GrfCreate. Above 0xFFFFFFFF + 46 bytes, a 0x1xx or 0x2xx archive cannot
   take the save (GRF_ERROR_WRITE). GrfLastError is not touched. */
uint64_t GrfSaveBytes(const GrfArchive* archive);

/* The bytes of archive's file that neither the header, the directory as it
   is on the disk, nor the stored bytes of a record of the table that lies
   in this file use (records marked deleted or replaced by a merge count as
   unused, as they will be after a save). A repack to a new file leaves
   them out. 0 for GRF_NO_ARCHIVE, null, an archive made by GrfCreate, or
   when memory runs out. GrfLastError is not touched. */
uint64_t GrfUnusedBytes(const GrfArchive* archive);

/* ---------------------------------------------------------------------------
 * Editing the table.
 */

/* Appends a local-file record (state 6, no owner, sizes 0) named name
   converted to code page 949, and sets GrfLocalBaseDir to baseDir. Its data
   will be the file baseDir + the name less its first four characters, the
   path taken now and kept with the record, so files added from several
   folders each keep their own (GrfAddLocalFile with that path).
   Returns GRF_OK when added; GRF_ERROR_HANDLE for GRF_NO_ARCHIVE or null;
   GRF_ERROR_NOT_FOUND when the name is empty, has a character code page 949
   lacks (names are never changed: "%XX", XX from 80 to FF in either case,
   stands for the byte XX, as GrfFileName writes a byte that starts no
   character, so such names come back exactly), or does not fit the field
   (GRF_NAME_MAX bytes; it is never cut short), or baseDir is null or longer
   than 259 characters; GRF_ERROR_MEMORY when out of memory. On any nonzero
   result the table is unchanged. GrfLastError is not touched. */
uint32_t GrfAddFile(GrfArchive* archive, const wchar_t* baseDir, const wchar_t* name);

/* Appends a local-file record (state 6, no owner, sizes 0) named name (wide,
   converted to code page 949) whose data will be the file at localPath, any
   path, kept with the record (a relative one is taken from the current
   directory when the archive is written). GrfLocalBaseDir is not touched.
   Returns as GrfAddFile, with GRF_ERROR_NOT_FOUND also for a null or empty
   localPath. */
uint32_t GrfAddLocalFile(GrfArchive* archive, const wchar_t* name, const wchar_t* localPath);

/* Takes every record of other into archive. First each record of other, in
   order and deleted ones included, whose name the table already holds is
   copied over the first record of that name (state 9, owner other) and
   marked deleted in other; then the records of other not marked deleted are
   appended (state 5) in other's order. Names compare byte for byte. Lookups
   go through the index, so the cost follows the two tables' sizes. other
   must stay open while records name it. Returns the new count (0 when both
   tables are empty, GrfLastError untouched); 0 with GRF_ERROR_HANDLE
   when either handle is GRF_NO_ARCHIVE or null; 0 with GRF_ERROR_LOCAL_RECORDS when
   other holds a local-file record (one without an owner, deleted or not:
   its data exists only as a local file that other's own repack would
   read); 0 with GRF_ERROR_MEMORY when the table cannot grow. On every
   failure neither table has changed. Merging an archive into itself changes
   nothing. */
uint32_t GrfMerge(GrfArchive* archive, GrfArchive* other);

/* ---------------------------------------------------------------------------
 * Name filter: a find-first/find-next walk over the table in order, matching
 * the part of each name after its last backslash against a wildcard pattern
 * ("*" any run, "?" one character, letters without regard to case; "*.*"
 * matches every name, also one without a dot).
 */

typedef struct GrfSearch {
    GrfArchive* archive; /* the archive searched */
    uint32_t next;       /* index where the next step starts */
    wchar_t pattern[260];
} GrfSearch;

/* Returns a new search, owned by the caller (release with GrfFreeBuffer), and
   stores the first matching record through found (may be null), with GRF_OK;
   or (GrfSearch*)-1 with GRF_ERROR_HANDLE (GRF_NO_ARCHIVE), GRF_ERROR_MEMORY,
   or GRF_ERROR_NOT_FOUND (nothing matches, the table is empty, or pattern is
   null). Each step converts each name it tests
   once, without allocating; patterns are cut to 259 characters. The search
   holds an index, so it survives the table growing between steps; a pointer
   stored through found is valid only until then. */
GrfSearch* GrfFindFirst(GrfArchive* archive, const wchar_t* pattern, GrfEntry** found);

/* Stores the next matching record through found (may be null) and returns 1
   with GRF_OK; or 0 with GRF_ERROR_HANDLE (null or -1 search) or
   GRF_ERROR_NO_MORE (no further match). */
uint32_t GrfFindNext(GrfSearch* search, GrfEntry** found);

/* ---------------------------------------------------------------------------
 * Patch files (THOR): the update files servers ship, which a patcher merges
 * into an archive or writes as loose files into the client folder.
 *
 * GrfOpen recognises a patch by the text at its start and reads its table
 * (either layout: a table of records, or a single file) into the same
 * model: each record is an entry whose owner is the patch, with its stored
 * zlib stream at an absolute position (type 1, cycle -1, version 0,
 * alignedSize = compressedSize; an empty file has stored size 0), so it is
 * read, extracted and previewed like an archive's entry. The header of such
 * an archive stays all zero; GrfPatchOf tells it apart. What the patch
 * deletes is listed as records of state GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REMOVAL
 * with no content (sizes 0, type 0): reading or extracting one fails with
 * GRF_ERROR_NOT_FOUND and writers never store one as a file.
 * A name the table holds more than once keeps one record, in the place of
 * its first, with the last one's fields (the last record of a name is the
 * one a patch means). data.integrity is an ordinary entry. The count in the
 * header is not relied on: the table is read to its end.
 * A patch is refused with GRF_ERROR_NOT_ARCHIVE when its table or its single
 * record does not lie inside the file after the header, its table does not
 * inflate whole or ends inside a record, a name is empty, holds a zero byte
 * or is longer than GRF_NAME_MAX (no record is ever dropped or cut short: a
 * patch is applied whole or not at all), a size is negative, or a record's
 * stored bytes reach beyond the end of the file; with GRF_ERROR_VERSION when
 * its layout is neither of the two.
 */

#define GRF_ENTRY_REMOVAL 0x20 /* a patch's removal record: applying deletes the name */

#define GRF_PATCH_LOOSE 0 /* merge mode: written as files into the client folder */
#define GRF_PATCH_MERGE 1 /* merge mode: merged into the target archive */
#define GRF_PATCH_TARGET_SIZE 256
#define GRF_PATCH_LAYOUT_RGZ 0x8B1F /* GrfPatchInfo.layout of an RGZ file */

struct GrfPatchInfo {
    uint8_t mergeMode;                  /* as stored: GRF_PATCH_LOOSE, GRF_PATCH_MERGE or
                                           another value, which applying refuses */
    uint16_t layout;                    /* 0x30 a table of records, 0x21 a single file */
    uint32_t fileCount;                 /* the header's count, as stored (not relied on) */
    char target[GRF_PATCH_TARGET_SIZE]; /* target archive name, raw bytes as
                                           stored (code page 949 in practice),
                                           NUL-terminated; "" means the
                                           patcher's default archive */
};

/* What the patch file archive was opened from says about itself, or null
   when archive is not a patch (or is GRF_NO_ARCHIVE or null). Owned by the
   archive. GrfLastError is not touched. */
const GrfPatchInfo* GrfPatchOf(const GrfArchive* archive);

/* GrfWritePatch flags. */
#define GRF_PATCH_WITH_INTEGRITY                   \
    0x01 /* add a data.integrity list: one line    \
            "NAME=0x%08x\r\n" per file, the CRC-32 \
            (as zlib computes it) of its content */

/* Writes archive's table as a new patch file at outputPath (which must not
   exist: nothing is ever overwritten), in the table layout, with the given
   merge mode (GRF_PATCH_MERGE or GRF_PATCH_LOOSE) and target archive name
   (raw bytes, at most 255; null or "" for the patcher's default). Each
   record not marked deleted, in table order: a removal record
   (GRF_ENTRY_REMOVAL) as a removal; any other as a file, its content (read from
   its owner and inflated, or its local file) deflated at GrfRepackLevel as
   one zlib stream, zero-filled to a multiple of 8 bytes; an empty file is
   stored with size 0 and no bytes. Contents are read and deflated ahead of
   the writer by GrfRepackThreads workers (0: one per core); each is a
   stream of its own, so the file is the same whatever their number. With
   GRF_PATCH_WITH_INTEGRITY a data.integrity entry of the table is left out
   and a new list of every file is written last. The table follows the data. progress (may be null)
   gets (record, index, count) per record; nonzero stops.
   The file is written under a new temporary name beside outputPath, flushed
   to disk, and only then given the name outputPath; a failed or stopped
   write removes it.
   Returns 0 with GRF_OK; or 1 with GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or
   null), GRF_ERROR_NOT_FOUND (output exists or cannot be created, a local
   file does not open), GRF_ERROR_CANCELLED, GRF_ERROR_MEMORY, the codes of
   GrfReadRecord for a record that does not read (GRF_ERROR_NOT_ARCHIVE when
   its owner's file does not open), GRF_ERROR_READ (a local file is
   unreadable or 2 GB or larger), GRF_ERROR_WRITE (a write failed, a record
   has an empty name, the target name is longer than 255 bytes, or the file
   would pass the 4 GB its offsets address). The table is never changed. */
int32_t GrfWritePatch(GrfArchive* archive, const wchar_t* outputPath, uint8_t mergeMode,
                      const char* target, uint32_t flags, GrfProgressCallback progress);

/* Appends a removal record (state GRF_ENTRY_NEW | GRF_ENTRY_REMOVAL, no owner,
   sizes 0) for name, raw code page 949 bytes, to archive's table: a patch
   written from the table deletes that name. Returns GRF_OK; GRF_ERROR_HANDLE
   (GRF_NO_ARCHIVE or null), GRF_ERROR_NOT_FOUND (name null, empty or longer
   than GRF_NAME_MAX), GRF_ERROR_MEMORY; the table is unchanged on failure.
   GrfLastError is not touched. */
uint32_t GrfAddRemoval(GrfArchive* archive, const char* name);

/* Takes the records of patch (a patch file GrfOpen opened) into archive's
   table as a patcher merges them, without writing anything: each file
   record replaces the first record of its name (its fields and owner taken,
   state GRF_ENTRY_IN_ARCHIVE | GRF_ENTRY_REPLACED) or is appended (GRF_ENTRY_IN_ARCHIVE
   | GRF_ENTRY_NEW), in patch order; each removal record marks the records of
   its name deleted (GRF_ENTRY_DELETED); any later record of a name the patch
   touches is marked deleted too, so readers that keep the last record of a
   name agree. data.integrity is not taken. Names compare byte for byte.
   Writing the table (GrfRepack, or GrfSave into the archive's own file, as
   GrfApplyPatch does) copies each taken record's stored stream as it is,
   enciphered for a 0x1xx target as the writer does for every copied
   record. patch must stay open
   while records name it. Returns GRF_OK; GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or
   null); GRF_ERROR_NOT_ARCHIVE when patch is not a patch file or archive is
   one; GRF_ERROR_MEMORY when the table cannot grow. On failure the table is
   unchanged. GrfLastError is not touched. */
uint32_t GrfMarkPatch(GrfArchive* archive, GrfArchive* patch);

/* Applies patch to archive as its merge mode says.
   GRF_PATCH_MERGE: GrfMarkPatch, then GrfSave: the patch's records are
   written into archive's own file with the save's crash-safe steps (its
   stored streams copied as they are, enciphered for a 0x1xx archive), so
   that a crash at any moment leaves the file the old archive or the
   patched one. Changes the table held before the call (records added,
   merged or marked deleted) are saved with the patch, as GrfSave saves
   whatever the table holds: the table is the caller's archive. After it,
   archive describes the patched file as GrfSave leaves it, and patch may
   be closed. On any failure (a stop through progress included) the file is
   the old archive and the table is put back as it was before the call,
   marks of earlier changes kept; pointers into it may have moved. An
   archive made by GrfCreate, which has no file yet, is refused
   (GRF_ERROR_NOT_FOUND): GrfMarkPatch and GrfRepack write one.
   progress (may be null) is GrfSave's: (record, k, n) for each record
   written, then (null, n, n); nonzero stops.
   GRF_PATCH_LOOSE: each file record is extracted into the folder of
   archive's file (where the client keeps its archives) at the relative path
   its name gives, and each removal record deletes the file of that name
   there (a file that is not there is no failure), both with the safety of
   GrfExtractRecord: names that leave the folder or pass through a link are
   refused, and every file is written whole under a temporary name first.
   Records are applied in table order, data.integrity excepted; a record
   that is refused or fails is left out and the others still apply, its
   removals included, so every safe file is written (each complete) and
   every removal performed; the result is the first failure's code
   (GrfApplyLoosePatch gives each record's). A file that is an open
   archive's (the target archive, the patch itself) is neither replaced nor
   deleted (GRF_ERROR_OPEN_ARCHIVE). The table and archive's file are not
   touched. progress (may be null)
   gets (record, index, count) per record; nonzero stops.
   Returns 0 with GRF_OK; or 1 with GRF_ERROR_HANDLE, GRF_ERROR_NOT_ARCHIVE
   (as GrfMarkPatch), GRF_ERROR_VERSION (a merge mode other than the two),
   GRF_ERROR_MEMORY, GRF_ERROR_CANCELLED; for a merge the codes of GrfSave
   (GRF_ERROR_IN_USE among them);
   for loose files the codes of GrfExtractInRun (GRF_ERROR_OUTPUT also when
   the folder does not open or a file to delete cannot be). */
int32_t GrfApplyPatch(GrfArchive* archive, GrfArchive* patch, GrfProgressCallback progress);

/* GrfApplyPatch of a patch of loose files, with each record's code in
   results[i] (patch->count slots; may be null): GRF_OK (data.integrity,
   which is not applied, too), the code of its extraction
   (GrfExtractInRun) or removal, GRF_ERROR_OUTPUT for every record when the
   archive's folder does not open, GRF_ERROR_CANCELLED for each record left
   after progress asked to stop. Returns 0 with GRF_OK, or 1 with the first
   failure's code (GRF_ERROR_CANCELLED after a stop), GRF_ERROR_HANDLE,
   GRF_ERROR_NOT_ARCHIVE (as GrfMarkPatch) or GRF_ERROR_VERSION (a patch
   that merges: GrfApplyPatch applies it); results are untouched for
   those three. */
int32_t GrfApplyLoosePatch(GrfArchive* archive, GrfArchive* patch, GrfProgressCallback progress,
                           uint32_t* results);

/* ---------------------------------------------------------------------------
 * Sharing an archive's file with other programs.
 *
 * A change in place (GrfSave, and GrfApplyPatch through it) holds the
 * archive's file exclusively from the moment it checks the file against the
 * table until its header switch is on the disk; reading (GrfOpen's header
 * and directory, a GrfReadRecords batch, a GrfExtractRecords run) holds it
 * shared meanwhile. A conflicting hold of another program fails the call at
 * once with GRF_ERROR_IN_USE, or waits for it after GrfSetLockWait(1). The
 * locks are the system's own between programs (POSIX: an open-file-
 * description lock, flock where there is none; Windows: LockFileEx beside
 * the share modes), so they go when a program ends, killed or not. Within
 * one program, every hold on a file it already holds exclusively is taken at
 * once; a change refused beside its own unfinished reads fails with
 * GRF_ERROR_IN_USE rather than wait for itself.
 */

/* Whether a call that finds the file held by another program waits for it
   (nonzero) or fails at once with GRF_ERROR_IN_USE (0, the default). A wait
   that a signal interrupts (POSIX) fails as if refused. */
void GrfSetLockWait(int32_t wait);

typedef struct GrfLock GrfLock;

/* Holds the file at path exclusively until GrfUnlockArchive, so that reading
   it (GrfOpen), changing the table and saving it (GrfSave, GrfApplyPatch)
   form one change no other program sees half of or writes in between: the
   calls of this program inside the lock take their holds at once. Returns
   the lock, or null with GrfLastError: GRF_ERROR_IN_USE, GRF_ERROR_NOT_FOUND
   (path null, or the file does not open for writing), GRF_ERROR_MEMORY. */
GrfLock* GrfLockArchive(const wchar_t* path);

/* Releases the lock (null does nothing). */
void GrfUnlockArchive(GrfLock* lock);

/* ---------------------------------------------------------------------------
 * RGZ patch files: one gzip stream of records, each a folder ('d', its
 * name), a file ('f', its name, a 32-bit little-endian size and the
 * content) or the end ('e', named "end"); a name field counts its ending
 * NUL and is read up to its first NUL.
 *
 * GrfOpen recognises an RGZ by gzip's first bytes and reads it as a patch
 * (GrfPatchOf: merge mode GRF_PATCH_LOOSE, layout GRF_PATCH_LAYOUT_RGZ, no
 * target): the stream is inflated once, through zlib's gzip support, into a
 * scratch file in the system's temporary folder (removed by GrfClose), and
 * each file record becomes an entry stored as it stands (type 1, cycle -1,
 * compressed = aligned = real size) at its place there, read, extracted and
 * previewed like an archive's. Folder records are not entries: the folders
 * of the files are made as they are written. A name that comes again keeps
 * one entry, the last one's. Names are kept as stored; extraction refuses
 * those that would leave its folder, as for any archive. An RGZ is refused
 * with GRF_ERROR_CUT_SHORT when the stream or a record ends before the end
 * record, GRF_ERROR_NOT_ARCHIVE when the stream does not inflate (or fails
 * its check), a record type is none of the three or a file's name is empty
 * or longer than GRF_NAME_MAX, GRF_ERROR_WRITE when the scratch file cannot
 * be made or written.
 */

/* Writes archive's table as a new RGZ at outputPath (which must not exist):
   in table order, a folder record for each folder of a file's name the
   first time one is needed (outermost first), the file record with its
   content (read from its owner and decoded, or its local file), then the
   end record; gzip at GrfRepackLevel. Records marked deleted and removal
   records are left out (an RGZ cannot remove). Written under a temporary
   name beside outputPath, flushed, then renamed to it. progress (may be
   null) gets (record, index, count) per file; nonzero stops.
   Returns 0; or 1 with GRF_ERROR_HANDLE, GRF_ERROR_NOT_FOUND (outputPath
   exists or cannot be made, a local file does not open), GRF_ERROR_MEMORY,
   GRF_ERROR_CANCELLED, GRF_ERROR_WRITE, GRF_ERROR_READ, or a record's read
   code as GrfReadRecord gives it (GRF_ERROR_NOT_ARCHIVE for an owner that
   does not open). */
int32_t GrfWriteRgz(GrfArchive* archive, const wchar_t* outputPath, GrfProgressCallback progress);

/* Writes the files of patch (an RGZ or any table; records marked deleted
   and removal records are left out) into folder, each at the relative path
   its name gives, as a whole where the file system allows: every name is
   checked first as extraction checks it (one that would leave the folder
   or that Windows would change stops it all, nothing written); then the
   files are written in batches of 64, each under a temporary name beside
   its final one through the folders as extraction walks them (never
   through a link it did not make), and only once a whole batch is written
   are they renamed into place, in table order, replacing files of those
   names. A failure while writing a batch removes its temporary files; a
   failed rename stops there. *applied (may be null) gets how many files,
   the first in table order, are in place. progress (may be null) gets
   (record, index, count) per file; nonzero stops.
   Returns 0 with GRF_OK; or 1 with GRF_ERROR_HANDLE, GRF_ERROR_UNSAFE_NAME,
   GRF_ERROR_OUTPUT (folder does not open, a file cannot be written or put
   in place), GRF_ERROR_CANCELLED, GRF_ERROR_MEMORY, or a record's read code
   as GrfReadRecord gives it. */
int32_t GrfApplyFiles(GrfArchive* patch, const wchar_t* folder, GrfProgressCallback progress,
                      uint32_t* applied);

/* ---------------------------------------------------------------------------
 * Reading many records.
 */

/* Gets each record of a GrfReadRecords batch in turn: its index, and with
   code GRF_OK its content (size bytes followed by 1024 zero bytes, as
   GrfReadRecord gives them; valid only until the reader returns, never to
   be freed), else content null, size 0 and the code GrfReadRecord would
   have left in GrfLastError. Nonzero stops the batch. */
typedef int (*GrfRecordReader)(uint32_t index, const uint8_t* content, uint32_t size, uint32_t code,
                               void* user);

/* Reads the records indices[0..count) of archive's table (repeats allowed)
   as GrfReadRecord reads each (the same bytes and codes), handing each to
   reader in order with user. The owner's file is opened once for the batch
   (still checked for changes before every record) and buffers are reused,
   so reading a whole archive costs little beyond the inflating.
   Returns how many records read; GrfLastError is GRF_OK once every record
   was handed over (whatever their codes), GRF_ERROR_CANCELLED when reader
   stopped the batch, GRF_ERROR_HANDLE (GRF_NO_ARCHIVE or null archive, null
   reader, or null indices with count above 0; nothing read). The batch holds
   archive's file shared; while another program changes it, every record is
   handed over with GRF_ERROR_IN_USE. */
uint32_t GrfReadRecords(GrfArchive* archive, const uint32_t* indices, uint32_t count,
                        GrfRecordReader reader, void* user);

/* ---------------------------------------------------------------------------
 * Keyed entries.
 *
 * One widely used editor encrypts entries with a key made from a password,
 * and nothing in the directory says so: such a record is a plain file (type
 * 0x01, cycle -1) whose stored bytes (all alignedSize of them) were XORed
 * with a keystream drawn from a copy of the 256-byte key, started at the
 * record's realSize; undone, they are a zlib or LZMA stream like any
 * record's. Reads therefore take a plain-file record of a 0x2xx or 0x300
 * archive for keyed when its stored bytes start like neither zlib nor LZMA,
 * and, while a key is set on its owner, also when they start like one of
 * them by chance (a keyed record's first byte is 0 once in 256) and do not
 * decode. Keyed records then decode with the owner's key, fail with
 * GRF_ERROR_PASSWORD when that key does not give a stream that decodes to
 * realSize (never other bytes), and without a key fail with
 * GRF_ERROR_NEEDS_PASSWORD. Records of patch files and of 0x1xx archives
 * are never keyed. An LZMA stream has no check of its own: a wrong key that
 * happens to give one decoding to realSize bytes cannot be told (about once
 * in 16 million records).
 */

#define GRF_KEY_SIZE 256   /* bytes of a key */
#define GRF_PASSWORD_MIN 4 /* bytes of the shortest password */
#define GRF_PASSWORD_MAX 256

/* Makes key from password's length bytes (taken as bytes, no text
   conversion). Returns 1; 0 with GRF_ERROR_PASSWORD_LENGTH for a null
   password or a length outside GRF_PASSWORD_MIN..GRF_PASSWORD_MAX (key is
   then untouched). */
int GrfKeyFromPassword(const uint8_t* password, size_t length, uint8_t key[GRF_KEY_SIZE]);

/* XORs length bytes of a record's stored bytes with the keystream of key for
   a record of realSize bytes: encrypts and decrypts alike. */
void GrfKeyEntryData(const uint8_t key[GRF_KEY_SIZE], uint32_t realSize, uint8_t* data,
                     uint32_t length);

/* Sets the key that reads archive's keyed records, a copy of key (null
   forgets it). Returns 1 with GRF_OK; 0 with GRF_ERROR_HANDLE
   (GRF_NO_ARCHIVE or null) or GRF_ERROR_MEMORY. Released by GrfClose, never
   written anywhere. */
int GrfSetKey(GrfArchive* archive, const uint8_t key[GRF_KEY_SIZE]);

/* GrfSetKey with the key of a password (GrfKeyFromPassword): 0 also with
   GRF_ERROR_PASSWORD_LENGTH. */
int GrfSetPassword(GrfArchive* archive, const uint8_t* password, size_t length);

/* Sets the key GrfRepack and GrfSave of archive encrypt the records they
   write with, a copy of key (null: none, the default). With a key, local
   files and plain records are written keyed; keyed records whose owner's
   read key is this key are copied unchanged, those whose owner has another
   key are decrypted with it and keyed anew (GRF_ERROR_PASSWORD when that
   key does not open them), those whose owner has none are copied unchanged.
   Without one, records are written as before: keyed ones copied as stored.
   A 0x1xx target with a write key fails with GRF_ERROR_METHOD (its cipher
   would change the bytes). Returns as GrfSetKey. */
int GrfSetWriteKey(GrfArchive* archive, const uint8_t key[GRF_KEY_SIZE]);

/* Whether record index of archive is keyed, from its first stored bytes
   (one small read; no decoding): 1 keyed (start like neither zlib nor
   LZMA), 0 not (or not a plain-file record of a GRF archive, or empty), -1
   with the code of the failed read (GRF_ERROR_NOT_FOUND for an index past
   the table or a local file, GRF_ERROR_CHANGED, GRF_ERROR_READ). A record
   keyed but starting like zlib or LZMA by chance counts as not keyed. */
int32_t GrfIsKeyed(GrfArchive* archive, uint32_t index);

/* How many records of archive GrfIsKeyed finds keyed, opening each owner's
   file once. progress (may be null) gets (record, index, count) per record;
   nonzero stops, leaving GRF_ERROR_CANCELLED. Records that cannot be read
   count as not keyed. GrfLastError is GRF_OK after a whole pass. */
uint32_t GrfCountKeyed(GrfArchive* archive, GrfProgressCallback progress);

/* ---------------------------------------------------------------------------
 * Client view: a game client's folder seen as the client reads it.
 *
 * A client reads several sources in priority order: the loose data\ folder
 * first when it is built to (GRF_CLIENT_LOOSE), then the archives its
 * DATA.INI lists (any case of the file name), lowest key first; without
 * DATA.INI, data.grf, then rdata.grf, then sdata.grf, each where present.
 * A name found in one source hides the same name in every later source,
 * names compared without regard to ASCII case and with "/" read as "\" (the
 * second byte of a double-byte character compares as it is). The view
 * opens every source and merges their tables into one table of names, each
 * with the source that wins and the copies it hides (records of the same
 * name later in the winner's own table included). Reading, extraction and
 * verification go through the winning copy. Sources are read-only here:
 * saving goes through an archive opened alone.
 * An archive source's records are read as GrfReadRecord reads them, so an
 * archive that another program saved since the view opened it gives
 * GRF_ERROR_CHANGED, never the bytes of another file: GrfRefreshClient
 * then reads again what changed. A loose file is read as it is when read;
 * one whose size is no longer the one listed gives GRF_ERROR_CHANGED too.
 */

#define GRF_CLIENT_LOOSE 0x01       /* GrfOpenClient: read the loose folder first */
#define GRF_CLIENT_NONE 0xFFFFFFFFu /* GrfFindClientName: no such name */

/* One source of the view. */
typedef struct GrfClientSource {
    GrfArchive* archive; /* its table: an archive as GrfOpen opened it; for the
                            loose folder, a table whose path is that folder,
                            of one record per file (owner null, state
                            GRF_ENTRY_ON_DISK | GRF_ENTRY_NEW, type 1, cycle -1, the
                            three sizes the file's), named data\ and its path
                            under the folder, sorted by name; GRF_NO_ARCHIVE
                            for an archive that did not open */
    wchar_t* path;       /* the path of an archive that did not open, else null */
    uint32_t error;      /* why it did not open (GrfOpen's code), else GRF_OK */
    uint32_t loose;      /* nonzero for the loose folder */
    uint32_t names;      /* names it gives the view (it wins them) */
    uint32_t overrides;  /* of those, names that hide a copy in a later source */
    uint32_t hidden;     /* its records that an earlier source's, or an earlier
                            record of its own, hide */
    uint32_t skipped;    /* loose folder: files left out (a name code page 949
                            lacks a character of, or holds "\", or one longer
                            than GRF_NAME_MAX; 4 GB or larger) */
} GrfClientSource;

/* A record of a source: sources[source].archive->entries[record]. */
typedef struct GrfClientCopy {
    uint32_t source;
    uint32_t record;
} GrfClientCopy;

/* A name of the view: its winning record, and the copies it hides, in
   hidden[firstHidden .. firstHidden + hiddenCount), in source order. */
typedef struct GrfClientName {
    uint32_t source;
    uint32_t record;
    uint32_t firstHidden;
    uint32_t hiddenCount;
} GrfClientName;

typedef struct GrfClientIndex GrfClientIndex;

typedef struct GrfClient {
    wchar_t folder[GRF_PATH_SIZE]; /* the client folder, absolute */
    GrfClientSource* sources;      /* in priority order, the highest first */
    uint32_t sourceCount;
    GrfClientName* names; /* in the order first met: sources in order,
                             each in table order */
    uint32_t nameCount;
    GrfClientCopy* hidden; /* every hidden copy, grouped by name */
    uint32_t hiddenCount;

    /* Engine-private: not part of the model, never touch. */
    uint32_t sourceCapacity;
    GrfClientIndex* index; /* names by folded name */
} GrfClient;

/* Opens the client folder: the loose folder (a folder "data" in any case)
   when flags has GRF_CLIENT_LOOSE, then the archives in the client's order
   (see above; a DATA.INI name with no folder in it is looked for in any
   case, one with folders taken as written; names that are not there are
   left out), each opened with GrfOpen (progress, may be null, handed to
   each), then merges the view. An archive that does not open stays a
   source with its path and GrfOpen's code and gives no names.
   Returns the client, owned by the caller (GrfCloseClient), with GRF_OK;
   or null with GRF_ERROR_NOT_FOUND (folder null, not a folder, or its path
   too long), GRF_ERROR_NO_CLIENT (no archive to read and no loose folder),
   GRF_ERROR_MEMORY, GRF_ERROR_READ (DATA.INI does not read). Costs, beyond
   the sources' own tables, GrfClientTableBytes. */
GrfClient* GrfOpenClient(const wchar_t* folder, uint32_t flags, GrfProgressCallback progress);

/* An empty view, of no folder (folder ""), for archives the caller adds
   with GrfAddClientArchive. Null with GRF_ERROR_MEMORY. */
GrfClient* GrfNewClient(void);

/* Opens the archive at path and makes it a source of client at place (0
   the highest priority; sourceCount or more: the last), then merges the
   view again. Returns GRF_OK; GRF_ERROR_HANDLE (null client or path), a
   code of GrfOpen, or GRF_ERROR_MEMORY, with the view as it was. */
uint32_t GrfAddClientArchive(GrfClient* client, const wchar_t* path, uint32_t place);

/* Reads again every archive source whose file changed since it was opened
   (or that did not open), and the loose folder, and merges the view again.
   Pointers into the view and into the sources' tables are then no longer
   valid. Returns GRF_OK; GRF_ERROR_HANDLE; GRF_ERROR_MEMORY (sources read
   again stay, the view may be the old one). */
uint32_t GrfRefreshClient(GrfClient* client);

/* Releases *client, its sources and its view, and sets *client to null;
   null or a null *client does nothing. GrfLastError is not touched. */
void GrfCloseClient(GrfClient** client);

/* The number of the view's name that equals name (code page 949, compared
   as the client compares names), with GRF_OK; or GRF_CLIENT_NONE with
   GRF_ERROR_HANDLE (null client or name) or GRF_ERROR_NOT_FOUND. Constant
   time. */
uint32_t GrfFindClientName(const GrfClient* client, const char* name);

/* The record of source, or null when client is null or there is no such
   record. GrfLastError is not touched. */
GrfEntry* GrfClientRecord(const GrfClient* client, uint32_t source, uint32_t record);

/* Reads record of source as GrfReadRecord reads an archive's record (an
   archive source's file checked for changes), or a loose file whole:
   a new zero-filled buffer of realSize + 1024 bytes, owned by the caller,
   size stored through size (may be null), GRF_OK. Or null with
   GRF_ERROR_HANDLE (null client), GRF_ERROR_NOT_FOUND (no such record; a
   loose file that does not open), GRF_ERROR_CHANGED (an archive changed
   since opened; a loose file whose size changed), GRF_ERROR_READ,
   GRF_ERROR_MEMORY and the other codes of GrfReadRecord. */
uint8_t* GrfReadClientRecord(GrfClient* client, uint32_t source, uint32_t record, uint32_t* size);

/* GrfReadClientRecord of name's winning record; GRF_ERROR_NOT_FOUND for a
   number not below nameCount. */
uint8_t* GrfReadClientName(GrfClient* client, uint32_t name, uint32_t* size);

/* Extracts name's winning record within run as GrfExtractInRun extracts an
   archive's record (a loose file's content written the same way, under
   the file name GrfFileName gives its name), so extracting every name of
   the view writes what the client loads. Returns 0 or a code (also left in
   GrfLastError): those of GrfExtractInRun, and of GrfReadClientRecord for a
   loose file; GRF_ERROR_HANDLE for a null run or client;
   GRF_ERROR_NOT_FOUND for a number not below nameCount. */
uint32_t GrfExtractClientName(GrfExtractRun* run, GrfClient* client, uint32_t name);

/* Reads the winning records of names[0..count) of client with `threads`
   workers (0: one per core), each as GrfReadClientName reads it, and hands
   each to reader (name number, content, size, code as GrfReadRecords
   gives them) on the thread that read it, in no set order: reader must be
   safe to call from several threads at once. Nonzero from reader stops
   the workers after the records they hold. The threads live inside this
   call. Returns how many read, GrfLastError GRF_OK, GRF_ERROR_CANCELLED
   after a stop, GRF_ERROR_HANDLE (null client or reader, null names with
   a nonzero count). */
uint32_t GrfReadClientNames(GrfClient* client, const uint32_t* names, uint32_t count,
                            uint32_t threads, GrfRecordReader reader, void* user);

/* The bytes the view itself takes beyond its sources' tables: names,
   hidden copies, sources and the index by name. 0 for null. */
uint64_t GrfClientTableBytes(const GrfClient* client);

/* Reads a client's DATA.INI at path: the archives its [Data] section lists
   as KEY=NAME (section and key without regard to case; KEY a number;
   blanks around them, ";" and "#" lines and a UTF-8 mark ignored; NAME as
   UTF-8 when it is valid UTF-8, else code page 949; only the first 1 MB of
   the file is read), lowest key first, equal keys in the file's order.
   Returns a new block (GrfFreeBuffer) of the names, each ended by a NUL and
   the list by an empty name, their number stored through count (may be
   null), with GRF_OK (a file that lists none gives an empty list); or null
   with GRF_ERROR_NOT_FOUND (does not open), GRF_ERROR_READ,
   GRF_ERROR_MEMORY. */
wchar_t* GrfReadDataIni(const wchar_t* path, uint32_t* count);

/* GrfReadRecords on every core: records of archive read by `threads`
   workers (0: one per core), each with its own file, and handed to reader
   on the thread that read it, in no set order (reader must be safe to call
   from several threads at once); otherwise as GrfReadClientNames. */
uint32_t GrfReadRecordsParallel(GrfArchive* archive, const uint32_t* indices, uint32_t count,
                                uint32_t threads, GrfRecordReader reader, void* user);

/* ---------------------------------------------------------------------------
 * Kept for compatibility: the names earlier programs use. New code takes the
 * GRF_-prefixed and Grf-prefixed names, which mean the same.
 */

#define ENTRY_IN_ARCHIVE GRF_ENTRY_IN_ARCHIVE
#define ENTRY_ON_DISK GRF_ENTRY_ON_DISK
#define ENTRY_NEW GRF_ENTRY_NEW
#define ENTRY_REPLACED GRF_ENTRY_REPLACED
#define ENTRY_DELETED GRF_ENTRY_DELETED
#define ENTRY_REMOVAL GRF_ENTRY_REMOVAL

/* GrfCp949ToWide, GrfWideToCp949 and GrfCreatePathDirectories. */
wchar_t* Cp949ToWide(const char* text);
char* WideToCp949(const wchar_t* text);
int CreatePathDirectories(wchar_t* path);

#ifdef __cplusplus
}
#endif

#endif
