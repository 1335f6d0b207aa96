// rgz.h -- what the engine's files share about RGZ patch files: telling one
// from its first bytes, reading it into an archive's table, and its
// unpacked stream, which the archive's reads open in place of its file.
#ifndef CASKWRIGHT_RGZ_H
#define CASKWRIGHT_RGZ_H

#include <stdint.h>

#include "grf.h"

struct PlatformFile;

// True when the size bytes read from a file's start begin like gzip.
bool IsRgzHeader(const uint8_t* bytes, uint32_t size);

// Reads the RGZ in file (open, of archive) into archive's table: its stream
// is unpacked into a scratch file (archive->unpacked, removed by
// ForgetUnpacked) whose stamp becomes the archive's. GRF_OK, or a code as
// GrfOpen leaves it; on failure the archive is only fit to be released.
uint32_t OpenRgz(GrfArchive* archive, PlatformFile* file, GrfProgressCallback progress);

// Removes the scratch file of an RGZ's stream, if there is one.
void ForgetUnpacked(GrfArchive* archive);

#endif
