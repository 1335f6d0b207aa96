// le_bytes.h -- little-endian fields, read and written through bytes so that
// no record in a file is ever cast onto a struct. One header for the engine
// and the decoders; private to both, never installed.
#ifndef CASKWRIGHT_LE_BYTES_H
#define CASKWRIGHT_LE_BYTES_H

#include <stdint.h>

inline uint16_t GetLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint64_t GetLe64(const uint8_t* p) {
    return uint64_t{GetLe32(p)} | (uint64_t{GetLe32(p + 4)} << 32);
}

inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void PutLe64(uint8_t* p, uint64_t v) {
    PutLe32(p, static_cast<uint32_t>(v));
    PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

#endif
