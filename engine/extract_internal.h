// extract_internal.h -- what extraction's two files share: the names it
// refuses, the file names and keys of records, and one record's extraction
// with the folders and archive file kept from the one before.
#ifndef CASKWRIGHT_EXTRACT_INTERNAL_H
#define CASKWRIGHT_EXTRACT_INTERNAL_H

#include <wchar.h>

#include "archive_internal.h"
#include "grf.h"

struct PlatformFile;
struct PlatformFolders;

// A relative path that stays below the current directory: no leading
// separator, no drive, no ".." component. Windows drops trailing dots and
// spaces from components, so any component of only dots and spaces with
// two dots or more counts as "..". Components this system would take for
// something else are refused too (PlatformRefusesComponent).
bool IsSafeName(const wchar_t* name);

// GrfFileName: the record name as a file name, bytes that do not convert
// as %XX. Null when out of memory.
wchar_t* FileNameOf(const char* name);

// The form under which this system tells two files apart: "\\" between
// components, none empty or ".", and case folded where names ignore it.
// Null when out of memory.
wchar_t* KeyOf(const wchar_t* fileName);

// What one extraction keeps for the next: the folders it last wrote into,
// and the file of the owner it last read (still checked against the owner's
// stamp each time). One thread's at a time.
struct Reuse {
    PlatformFolders* folders = nullptr;
    const GrfArchive* owner = nullptr;
    PlatformFile* file = nullptr;
    ReadWindow window;  // of file
};

// Closes the archive file reuse keeps and drops what was read ahead from
// it (its folders stay).
void ReleaseSource(Reuse* reuse);

// Extracts entry's content into fileName (a name already found safe, not
// yet written in this run): GRF_OK or the codes of GrfExtractRecord.
// An entry stored in a way we do not read makes no file. Touches nothing
// shared between threads but the file system.
uint32_t ExtractTo(const GrfEntry& entry, const wchar_t* fileName, Reuse* reuse);

// GrfExtractInRun for a record whose content is already in memory (realSize
// bytes; a client's loose file): the same names refused, the same run
// bookkeeping, the same way of writing the file.
uint32_t ExtractContentInRun(GrfExtractRun* run, const GrfEntry& entry, const uint8_t* content);

#endif
