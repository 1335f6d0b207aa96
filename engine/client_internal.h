// client_internal.h -- what the client view shares with its tests and fuzz
// target: the DATA.INI parser working on bytes in memory.
#ifndef CASKWRIGHT_CLIENT_INTERNAL_H
#define CASKWRIGHT_CLIENT_INTERNAL_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "grf.h"

// GrfReadDataIni's list from the file's bytes: a new block (PlatformFree)
// of NUL-ended wide names, highest priority first, closed by an empty name;
// their number through count. Null only when out of memory.
wchar_t* ParseDataIni(const char* bytes, size_t size, uint32_t* count);

// A loose file's content, as GrfReadRecord gives an archive record's: a new
// buffer (PlatformFree) of realSize + 1024 bytes, or null with the reason
// in *code. Touches nothing shared, so workers may call it.
uint8_t* ReadLooseFile(const GrfClient* client, uint32_t source, const GrfEntry& entry,
                       uint32_t* size, uint32_t* code);

#endif
