// extraction.h -- one run of Extract or Extract All: the target folder the
// user chooses, each record written under it by the engine, existing files
// replaced only when the user says so, Cancel looked at before every record,
// and what went wrong told once at the end.
#ifndef CASKWRIGHT_UI_EXTRACTION_H
#define CASKWRIGHT_UI_EXTRACTION_H

#include <windows.h>

#include <stdint.h>

#include "progress.h"

// The folder of the last extraction, remembered for the session: the next
// folder browser starts there. Empty before the first.
extern wchar_t g_extractFolder[PATH_SIZE];

// Extracts count records of g_archive, those at indices or, when indices is
// null, records 0 to count - 1, into a folder the user chooses first
// (nothing happens when the browser is cancelled). Ends with "N files
// extracted to FOLDER" on the status line and at most one box of what went
// wrong; a record whose archive file changed on disk ends the run and asks
// to open that archive again.
// With ask false and a folder used before, extracts there without asking.
void ExtractRecords(HWND window, const uint32_t* indices, uint32_t count, bool ask = true);

#endif
