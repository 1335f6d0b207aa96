// cipher_reference.h -- the block transform written out bit by bit from the
// published tables, as the reference the table-driven engine is checked
// against.
#ifndef CASKWRIGHT_CIPHER_REFERENCE_H
#define CASKWRIGHT_CIPHER_REFERENCE_H

#include <stdint.h>

void ReferenceBlock(uint8_t* block);
// The entry-data shuffle of one block, in either direction.
void ReferenceShuffle(uint8_t* block, bool decipher);

#endif
