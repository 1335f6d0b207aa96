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

struct PlatformFile;

// Files. Paths are wide; on POSIX, backslashes in them become slashes.
// Each open returns null on failure, with the reason in PlatformLastError.
PlatformFile* PlatformOpenRead(const wchar_t* path);      // existing, shared for reading
PlatformFile* PlatformCreateNew(const wchar_t* path);     // fails when it exists
PlatformFile* PlatformCreateAlways(const wchar_t* path);  // replaces an existing file
// Reads up to size bytes; false on a failed call, *got holds what was read.
bool PlatformRead(PlatformFile* file, void* buffer, uint32_t size, uint32_t* got);
// Writes all size bytes, or returns false.
bool PlatformWrite(PlatformFile* file, const void* buffer, uint32_t size);
bool PlatformSeek(PlatformFile* file, uint64_t offset);
uint64_t PlatformFileSize(PlatformFile* file);
void PlatformClose(PlatformFile* file);
bool PlatformDeleteFile(const wchar_t* path);
bool PlatformCreateDirectory(const wchar_t* path);
uint32_t PlatformLastError(void);

// Heap. Blocks come zero-filled; PlatformGrow zero-fills the growth and
// leaves the block untouched (returning null) when memory runs out.
void* PlatformAlloc(size_t size);
void* PlatformGrow(void* block, size_t oldSize, size_t newSize);
void PlatformFree(void* block);

// Code page 949. The allocating forms return PlatformAlloc blocks (null when
// out of memory). Cp949ToWideInto converts into a caller's buffer of
// capacity characters and returns false when it does not fit.
wchar_t* PlatformCp949ToWide(const char* text);
char* PlatformWideToCp949(const wchar_t* text);
bool PlatformCp949ToWideInto(const char* text, wchar_t* out, size_t capacity);

// Wildcard match of a file name against a pattern, as the shell does it:
// "*.*" matches every name (one without a dot too), "*" any run of
// characters, "?" exactly one, letters without regard to case; several
// patterns may be given separated by ";" (leading spaces ignored).
bool PlatformMatchSpec(const wchar_t* name, const wchar_t* pattern);

// The debugger line: OutputDebugString on Windows; POSIX has no debugger
// channel, so there only the test build keeps it.
void PlatformDebugOutput(const wchar_t* text);

#endif
