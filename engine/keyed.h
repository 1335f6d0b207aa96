// keyed.h -- what the engine's files share about keyed records: the keys
// set on an archive, which records may be keyed, and the keystream.
#ifndef CASKWRIGHT_KEYED_H
#define CASKWRIGHT_KEYED_H

#include <stdint.h>

#include "grf.h"

struct GrfKeys {
    bool hasRead;
    bool hasWrite;
    uint8_t read[GRF_KEY_SIZE];   // opens the archive's keyed records
    uint8_t write[GRF_KEY_SIZE];  // keys the records its writes store
};

// The key that opens entry's records (its owner's), or null.
const uint8_t* ReadKeyOf(const GrfEntry& entry);
// The key archive's writes store records with, or null.
const uint8_t* WriteKeyOf(const GrfArchive* archive);
// Whether entry may be keyed: a plain file with content, of a GRF archive
// (not a patch), whose stored bytes are in its owner's file.
bool MayBeKeyed(const GrfEntry& entry);
void FreeKeys(GrfArchive* archive);
// Whether entry's deciphered stored bytes decode as they are, without a key
// (read.cpp); false also when out of memory.
bool DecodesAsStored(const GrfEntry& entry, const uint8_t* stored);

#endif
