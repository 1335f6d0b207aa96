// stored_method.h -- how an entry's stored bytes hold its content, told
// from its type and its first bytes once deciphered, and the LZMA decoder
// for entries other tools store that way (a zero byte, the 5 property
// bytes, then a raw LZMA stream that decodes to the real size).
#ifndef CASKWRIGHT_STORED_METHOD_H
#define CASKWRIGHT_STORED_METHOD_H

#include <stddef.h>
#include <stdint.h>

#include "grf.h"

enum StoredMethod {
    kMethodZlib,     // a zlib stream, or too short to be anything else
    kMethodLzma,     // first byte 0: LZMA
    kMethodPlain,    // no zlib stream, as long as the content: the content
    kMethodForeign,  // another compression or an encryption: not read
};

// The method of entry (realSize above 0) whose deciphered stored bytes
// start with first, of which available are there (its compressedSize, or
// fewer when fewer are stored). Nothing is guessed: bytes that start like
// zlib are zlib even if they then fail to inflate.
StoredMethod MethodOf(const GrfEntry& entry, const uint8_t* first, uint32_t available);

// A raw LZMA1 decoder over one entry's stream.
struct LzmaDecoder;

// Starts a decoder for an entry of realSize bytes whose stream has the
// given 5 property bytes: GRF_OK, GRF_ERROR_INFLATE (properties no decoder
// takes) or GRF_ERROR_MEMORY. The dictionary never exceeds the content.
uint32_t LzmaBegin(const uint8_t* properties, uint32_t realSize, LzmaDecoder** decoder);
// Decodes from in (inSize bytes) into out (outSize bytes of room), telling
// the bytes it took and made; *ended when the stream marked its end.
// GRF_OK, GRF_ERROR_INFLATE (damaged stream) or GRF_ERROR_MEMORY.
uint32_t LzmaRun(LzmaDecoder* decoder, const uint8_t* in, size_t inSize, size_t* used, uint8_t* out,
                 size_t outSize, size_t* made, bool* ended);
void LzmaEnd(LzmaDecoder* decoder);

// Decodes a whole LZMA entry's stored bytes (its first compressedSize) into
// out, which has room for exactly realSize bytes: GRF_OK when they decode
// to exactly that many, else GRF_ERROR_INFLATE or GRF_ERROR_MEMORY.
uint32_t LzmaDecodeEntry(const uint8_t* stored, uint32_t compressedSize, uint8_t* out,
                         uint32_t realSize);

#endif
