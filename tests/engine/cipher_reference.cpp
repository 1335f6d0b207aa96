// cipher_reference.cpp -- IP, one keyless Feistel step without the swap of
// halves, IP^-1, each bit moved one at a time; the shuffle and the entry walk
// block by block.
#include "cipher_reference.h"

#include <cipher_tables.h>
#include <string.h>

namespace {

// DES expansion E: 48 one-based bit numbers of the 32-bit right half.
constexpr uint8_t kExpansion[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                                    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                                    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

int GetBit(const uint8_t* bytes, int k) {
    return (bytes[(k - 1) / 8] >> (7 - (k - 1) % 8)) & 1;
}

void SetBit(uint8_t* bytes, int k, int value) {
    uint8_t mask = static_cast<uint8_t>(0x80 >> ((k - 1) % 8));
    if (value)
        bytes[(k - 1) / 8] |= mask;
    else
        bytes[(k - 1) / 8] &= static_cast<uint8_t>(~mask);
}

void Permute(uint8_t* bytes, const uint8_t* table, int bits) {
    uint8_t in[8];
    memcpy(in, bytes, 8);
    for (int i = 1; i <= bits; ++i) SetBit(bytes, i, GetBit(in, table[i - 1]));
}

}  // namespace

void ReferenceBlock(uint8_t* block) {
    Permute(block, des::kInitialPermutation, 64);
    const uint8_t* right = block + 4;
    uint8_t sboxOut[4] = {};
    for (int group = 0; group < 8; ++group) {
        uint32_t value = 0;
        for (int b = 0; b < 6; ++b) value = (value << 1) | GetBit(right, kExpansion[group * 6 + b]);
        uint8_t s = des::SBox(group, value);
        for (int b = 0; b < 4; ++b) SetBit(sboxOut, group * 4 + b + 1, (s >> (3 - b)) & 1);
    }
    uint8_t p[8] = {};
    memcpy(p, sboxOut, 4);
    Permute(p, des::kPermutationP, 32);
    for (int i = 0; i < 4; ++i) block[i] ^= p[i];
    Permute(block, des::kFinalPermutation, 64);
}

// Deciphering a shuffled block moves stored byte i to position kDecipherTo[i]
// (bytes 0 to 6) and substitutes byte 7. Enciphering is the inverse move,
// derived here rather than typed, so the two directions cannot disagree.
constexpr uint8_t kDecipherTo[7] = {3, 4, 5, 0, 1, 6, 2};

void ReferenceShuffle(uint8_t* block, bool decipher) {
    uint8_t in[8];
    memcpy(in, block, 8);
    for (int i = 0; i < 7; ++i) {
        if (decipher)
            block[kDecipherTo[i]] = in[i];
        else
            block[i] = in[kDecipherTo[i]];
    }
    block[7] = des::Substitute(in[7]);
}

uint32_t ReferenceEntryData(uint8_t* data, uint32_t length, bool headerOnly, int32_t cycle,
                            bool decipher) {
    // Past the first 20 blocks, mixed mode transforms every block whose
    // number is a multiple of the step, and shuffles the 8th of the others,
    // then every 7th.
    int64_t step = cycle < 3 ? 3 : cycle < 5 ? cycle + 1 : cycle < 7 ? cycle + 9 : cycle + 15;
    uint32_t shuffled = 0;
    int plainSinceShuffle = 0;
    for (uint64_t b = 0; b * 8 < length; ++b) {
        uint8_t* block = data + b * 8;
        if (b < 20) {
            ReferenceBlock(block);
        } else if (headerOnly) {
            break;
        } else if (static_cast<int64_t>(b) % step == 0) {
            ReferenceBlock(block);
        } else {
            if (plainSinceShuffle == 7) {
                ReferenceShuffle(block, decipher);
                ++shuffled;
                plainSinceShuffle = 0;
            }
            ++plainSinceShuffle;
        }
    }
    return shuffled;
}
