// thor.h -- what the engine's files share about patch files (THOR):
// recognising one and reading it into an archive record.
#ifndef CASKWRIGHT_THOR_H
#define CASKWRIGHT_THOR_H

#include <stdint.h>

#include "grf.h"

struct PlatformFile;

// True when the size bytes read from a file's start begin with the patch
// text.
bool IsPatchHeader(const uint8_t* bytes, uint32_t size);

// Reads the patch in file (open, of archive) into archive's table and its
// patch information. GRF_OK, or a code as GrfOpen leaves it; on failure the
// archive is only fit to be released.
uint32_t OpenPatch(GrfArchive* archive, PlatformFile* file, GrfProgressCallback progress);

// Keeps one record per name of a patch's table (its index built): where a
// later record repeats a name, its fields go into the first record's place
// and it leaves the table. The index must be built again when the count
// changed.
void KeepLastOfEachName(GrfArchive* archive);

#endif
