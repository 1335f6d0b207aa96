// sha256.h -- SHA-256 (FIPS 180-4), fed in pieces, for content hashes in
// listings and manifests.
#ifndef CASKW_SHA256_H
#define CASKW_SHA256_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace caskw {

struct Sha256 {
    uint32_t state[8];
    uint64_t length = 0;  // bytes fed so far
    uint8_t block[64];
    size_t used = 0;  // bytes of block filled

    Sha256();
    void Add(const void* data, size_t size);
    // The digest as 64 lower-case hexadecimal digits; the value is spent.
    std::string Hex();
};

}  // namespace caskw

#endif
