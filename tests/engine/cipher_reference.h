// cipher_reference.h -- the archive cipher written out the slow, plain way,
// as the reference the table-driven engine is checked against: the block
// transform bit by bit from the published tables, the shuffle from one typed
// permutation (its inverse derived), and the entry walk one block at a time.
// The suite shows the reference right on real enciphered archives
// (CipherReference.DeciphersRealArchives), independently of the engine.
#ifndef CASKWRIGHT_CIPHER_REFERENCE_H
#define CASKWRIGHT_CIPHER_REFERENCE_H

#include <stdint.h>

void ReferenceBlock(uint8_t* block);
// The entry-data shuffle of one block, in either direction.
void ReferenceShuffle(uint8_t* block, bool decipher);
// Deciphers or enciphers an entry's stored bytes: the blocks that start
// below length, header-only or mixed mode by cycle. Returns the number of
// blocks shuffled.
uint32_t ReferenceEntryData(uint8_t* data, uint32_t length, bool headerOnly, int32_t cycle,
                            bool decipher);

#endif
