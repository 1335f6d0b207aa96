// platform.h -- the few operating-system services the engine uses: files,
// zero-filled heap memory, code page 949 conversion, the shell's wildcard
// match and the debugger line.
// platform_win32.cpp implements them with Win32, platform_posix.cpp with
// POSIX and iconv. Nothing else in the engine includes a system header. The
// test build of either file lets tests make calls fail (platform_hooks.h).
#ifndef CASKWRIGHT_PLATFORM_H
#define CASKWRIGHT_PLATFORM_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "grf.h"

struct PlatformFile;

// Files. Paths are wide; on POSIX, backslashes in them become slashes.
// Each open returns null on failure, with the reason in PlatformLastError.
PlatformFile* PlatformOpenRead(const wchar_t* path);      // existing, shared for reading
PlatformFile* PlatformCreateNew(const wchar_t* path);     // fails when it exists
PlatformFile* PlatformCreateAlways(const wchar_t* path);  // replaces an existing file
// An existing file for reading and writing in place: never created or cut.
PlatformFile* PlatformOpenUpdate(const wchar_t* path);
// Reads up to size bytes; false on a failed call, *got holds what was read.
bool PlatformRead(PlatformFile* file, void* buffer, uint32_t size, uint32_t* got);
// PlatformRead at offset in one call; where the file's position is left
// afterwards is unspecified.
bool PlatformReadAt(PlatformFile* file, uint64_t offset, void* buffer, uint32_t size,
                    uint32_t* got);
// Writes all size bytes, or returns false.
bool PlatformWrite(PlatformFile* file, const void* buffer, uint32_t size);
bool PlatformSeek(PlatformFile* file, uint64_t offset);
uint64_t PlatformFileSize(PlatformFile* file);
void PlatformClose(PlatformFile* file);
bool PlatformDeleteFile(const wchar_t* path);
bool PlatformCreateDirectory(const wchar_t* path);
uint32_t PlatformLastError(void);
// Whether the last failed open was refused rather than missing: no
// permission, a read-only file or volume, a file another program holds.
bool PlatformAccessDenied(void);
// Forces what was written to the file onto the disk.
bool PlatformFlush(PlatformFile* file);
// Cuts the file (open for writing) to size bytes.
bool PlatformTruncate(PlatformFile* file, uint64_t size);
// What the file is now: size, modification time, identity (GrfFileStamp).
bool PlatformStampOf(PlatformFile* file, GrfFileStamp* stamp);
// True when something (a file, folder or link) has that name.
bool PlatformPathExists(const wchar_t* path);
// The absolute form of path, for a file that may not exist yet: POSIX
// resolves the folder (realpath) and keeps the last name; Windows asks
// GetFullPathNameW. False when it does not fit capacity or cannot be made.
bool PlatformAbsolutePath(const wchar_t* path, wchar_t* out, size_t capacity);

// New files that take their final name only when complete: written without
// a name where the file system allows (Linux: O_TMPFILE), else under a
// hidden temporary name beside finalPath, "." + its name + ".caskw-" + eight
// hexadecimal digits + ".tmp", which this program holds (locked, or open
// without sharing) while it exists. Beginning one first removes the stale
// temporaries of the same final name: those older than this program that no
// one holds, as a killed writer leaves them (a final name that is itself
// such a temporary stands for its file too). Null when none can be made.
// PlatformFinishNewFile gives the file finalPath's name, never replacing
// anything of that name (false then, or when anything fails), once the
// caller has flushed it; the folder is flushed after, so the name outlasts a
// power cut. PlatformEndNewFile closes and frees it, removing the temporary
// name unless finished; null does nothing.
struct PlatformNewFile;
PlatformNewFile* PlatformBeginNewFile(const wchar_t* finalPath);
PlatformFile* PlatformNewFileData(PlatformNewFile* file);
bool PlatformFinishNewFile(PlatformNewFile* file);
void PlatformEndNewFile(PlatformNewFile* file);
// Forces the folder that holds path (its names, and where they lead) onto
// the disk, as a rename or a file's new length needs to survive a power
// cut. POSIX: fsync of the folder; Windows writes renames through already.
bool PlatformFlushFolderOf(const wchar_t* path);
// A scratch file of the engine's own in the system's temporary folder: made
// as base + "." + random hexadecimal digits + ".tmp", never over an existing
// file; its name goes to temporaryPath (capacity characters). The caller
// removes it. Null when it cannot be made.
PlatformFile* PlatformCreateScratch(const wchar_t* base, wchar_t* temporaryPath, size_t capacity);
// The folder for the engine's own scratch files (the system's temporary
// folder), ending with a separator. False when it does not fit capacity.
bool PlatformScratchFolder(wchar_t* out, size_t capacity);

// Extracted files. PlatformBeginOutput walks the folders of relative (a
// path under the current directory, "\\" or "/" between components, every
// component checked by the caller) from the current directory, making those
// that are missing, never following a link or reparse point it did not
// make, and opens a new file of a temporary name in the last folder. The
// writes go there; PlatformCommitOutput puts the file in place of the final
// name (replacing a file or link of that name, never writing into it; a
// replaced file is flushed first), and PlatformAbandonOutput removes it.
// Either way the temporary file is gone and, on failure, so are the folders
// the output made.
// PlatformFolders keeps the folders outputs walked open for the next ones
// given the same record (null: none kept), so a run of extractions walks
// each folder once, in whatever order its files come (POSIX keeps a few
// hundred, the least recently used closed first); it keeps the current
// directory of its first use.
struct PlatformOutput;
struct PlatformFolders;
enum PlatformOutputResult {
    kOutputDone,
    kOutputLink,    // a folder on the way (Windows: also the final name) is a link
    kOutputFailed,  // a folder or the file cannot be made, written or renamed
};
PlatformFolders* PlatformNewFolders(void);  // null when out of memory
// Folders walked from root (an existing folder the caller names, which may
// itself be reached through links) instead of the current directory; null
// when out of memory or root does not open.
PlatformFolders* PlatformNewFoldersAt(const wchar_t* root);
void PlatformFreeFolders(PlatformFolders* folders);
PlatformOutputResult PlatformBeginOutput(const wchar_t* relative, PlatformFolders* folders,
                                         PlatformOutput** output);
bool PlatformWriteOutput(PlatformOutput* output, const void* buffer, uint32_t size);
PlatformOutputResult PlatformCommitOutput(PlatformOutput* output);
void PlatformAbandonOutput(PlatformOutput* output);
// Removes what has the output's final name in its folder (a file, or a link
// itself, never what it points to); true when it is gone or was never there.
// The output is then abandoned as usual.
bool PlatformRemoveFinal(PlatformOutput* output);
// The device and file of what has the output's final name now (a link
// itself, not what it points to) into identity's device and file; false when
// nothing has that name.
bool PlatformFinalIdentity(PlatformOutput* output, GrfFileStamp* identity);

// Names of extracted files. PlatformRefusesComponent: true for a path
// component this system would take for something else or change (Windows:
// device names, a trailing dot or space, a colon); never on POSIX.
// PlatformFoldName: makes names that this system takes for the same file
// equal (Windows ignores case; POSIX keeps it).
bool PlatformRefusesComponent(const wchar_t* component, size_t length);
void PlatformFoldName(wchar_t* name, size_t length);

// Locks between programs on a whole file, taken on a file opened for them:
// shared (readers, any number) or exclusive (one writer, no reader). They
// conflict between two opens of one file even within one program, and go
// when the file is closed or the program ends. POSIX: an open-file-description
// lock on kPlatformLockByte (flock where the system has none); Windows:
// LockFileEx on that byte, which nothing reads or writes, beside the share
// modes. wait: block until the lock is free (an interrupted wait is busy).
enum PlatformLockResult {
    kLockTaken,
    kLockBusy,    // another open of the file holds a lock that conflicts
    kLockFailed,  // the system refused the call
};
constexpr uint64_t kPlatformLockByte = uint64_t{1} << 62;
// The file at path opened for locking: for reading on Windows, sharing
// every access; POSIX needs it open for writing to lock it exclusively.
PlatformFile* PlatformOpenToLock(const wchar_t* path, bool exclusive);
PlatformLockResult PlatformLockFile(PlatformFile* file, bool exclusive, bool wait);
void PlatformUnlockFile(PlatformFile* file);

// Heap. Blocks come zero-filled; PlatformGrow zero-fills the growth and
// leaves the block untouched (returning null) when memory runs out.
void* PlatformAlloc(size_t size);
void* PlatformGrow(void* block, size_t oldSize, size_t newSize);
void PlatformFree(void* block);

// Code page 949. The allocating forms return PlatformAlloc blocks (null when
// out of memory). Cp949ToWideInto converts into a caller's buffer of
// capacity characters and returns false when it does not fit.
// Cp949CharToWide converts exactly one character starting at bytes (of
// which available are there) and returns the bytes it took (1 or 2), or 0
// when no character of code page 949 starts there.
wchar_t* PlatformCp949ToWide(const char* text);
char* PlatformWideToCp949(const wchar_t* text);
bool PlatformCp949ToWideInto(const char* text, wchar_t* out, size_t capacity);
size_t PlatformCp949CharToWide(const char* bytes, size_t available, wchar_t* out);

// Wildcard match of a file name against a pattern, as the shell does it:
// "*.*" matches every name (one without a dot too), "*" any run of
// characters, "?" exactly one, letters without regard to case; several
// patterns may be given separated by ";" (leading spaces ignored).
bool PlatformMatchSpec(const wchar_t* name, const wchar_t* pattern);

// The debugger line: OutputDebugString on Windows; POSIX has no debugger
// channel, so there only the test build keeps it.
void PlatformDebugOutput(const wchar_t* text);

#endif
