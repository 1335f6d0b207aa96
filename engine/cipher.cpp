// cipher.cpp -- the archive cipher: one keyless DES round, the entry-data
// walk over it, and the directory name transform.
//
// The block transform is IP, one Feistel step with a zero subkey (no swap of
// halves), then IP^-1. Only the left half changes, and the permutations are
// linear over XOR, so
//     out = block ^ IP^-1(f(R) << 32),   R = right half of IP(block).
// That takes three small lookup tables derived at compile time from the
// published ones: the IP bits that make R (per input byte), the S-boxes
// combined with P (per 6-bit group), and IP^-1 of the left half (per byte
// of f). Twenty lookups a block instead of a walk over 64 bits.
#include "archive_internal.h"
#include "cipher_tables.h"
#include "grf.h"
#include "grf_format.h"

#include <string.h>

namespace {

constexpr int Bit(const uint8_t* block, int k) {  // k is 1-based
    return (block[(k - 1) >> 3] >> (7 - ((k - 1) & 7))) & 1;
}

struct CipherTables {
    uint32_t rightOfIp[8][256];      // R bits that input byte b with value v sets
    uint32_t sp[8][64];              // P(S_j(group)) at S_j's nibble
    uint8_t finalOfLeft[4][256][8];  // IP^-1 of a block whose left byte b is v
};

constexpr CipherTables MakeTables() {
    CipherTables t{};
    for (int b = 0; b < 8; ++b) {
        for (int v = 0; v < 256; ++v) {
            uint8_t block[8] = {};
            block[b] = static_cast<uint8_t>(v);
            uint32_t r = 0;
            for (int j = 1; j <= 32; ++j)
                r |= static_cast<uint32_t>(Bit(block, des::kInitialPermutation[32 + j - 1]))
                     << (32 - j);
            t.rightOfIp[b][v] = r;
        }
    }
    for (int box = 0; box < 8; ++box) {
        for (uint32_t group = 0; group < 64; ++group) {
            uint32_t s = static_cast<uint32_t>(des::SBox(box, group)) << (28 - 4 * box);
            uint32_t p = 0;
            for (int i = 1; i <= 32; ++i)
                p |= ((s >> (32 - des::kPermutationP[i - 1])) & 1u) << (32 - i);
            t.sp[box][group] = p;
        }
    }
    for (int b = 0; b < 4; ++b) {
        for (int v = 0; v < 256; ++v) {
            uint8_t block[8] = {};
            block[b] = static_cast<uint8_t>(v);
            for (int i = 1; i <= 64; ++i) {
                if (Bit(block, des::kFinalPermutation[i - 1]))
                    t.finalOfLeft[b][v][(i - 1) >> 3] |=
                        static_cast<uint8_t>(0x80 >> ((i - 1) & 7));
            }
        }
    }
    return t;
}

constexpr CipherTables kTables = MakeTables();

inline void TransformBlock(uint8_t* block) {
    const CipherTables& t = kTables;
    uint32_t r = t.rightOfIp[0][block[0]] | t.rightOfIp[1][block[1]] | t.rightOfIp[2][block[2]] |
                 t.rightOfIp[3][block[3]] | t.rightOfIp[4][block[4]] | t.rightOfIp[5][block[5]] |
                 t.rightOfIp[6][block[6]] | t.rightOfIp[7][block[7]];
    // E as shifts: 34 bits R32 R1..R32 R1; group j is 6 bits from 4(j-1).
    uint64_t w = (static_cast<uint64_t>(r & 1) << 33) | (static_cast<uint64_t>(r) << 1) | (r >> 31);
    uint32_t f = t.sp[0][(w >> 28) & 63] | t.sp[1][(w >> 24) & 63] | t.sp[2][(w >> 20) & 63] |
                 t.sp[3][(w >> 16) & 63] | t.sp[4][(w >> 12) & 63] | t.sp[5][(w >> 8) & 63] |
                 t.sp[6][(w >> 4) & 63] | t.sp[7][w & 63];
    uint64_t out, a, b, c, d;
    memcpy(&out, block, 8);
    memcpy(&a, t.finalOfLeft[0][f >> 24], 8);
    memcpy(&b, t.finalOfLeft[1][(f >> 16) & 0xFF], 8);
    memcpy(&c, t.finalOfLeft[2][(f >> 8) & 0xFF], 8);
    memcpy(&d, t.finalOfLeft[3][f & 0xFF], 8);
    out ^= a ^ b ^ c ^ d;
    memcpy(block, &out, 8);
}

void Shuffle(uint8_t* block, bool decipher) {
    uint8_t old[8];
    memcpy(old, block, 8);
    static constexpr uint8_t kDecipherOrder[7] = {3, 4, 6, 0, 1, 2, 5};
    static constexpr uint8_t kEncipherOrder[7] = {3, 4, 5, 0, 1, 6, 2};
    const uint8_t* order = decipher ? kDecipherOrder : kEncipherOrder;
    for (int i = 0; i < 7; ++i) block[i] = old[order[i]];
    block[7] = des::Substitute(old[7]);
}

int64_t AdjustCycle(int32_t cycle) {
    if (cycle < 3) return 3;
    if (cycle < 5) return int64_t{cycle} + 1;
    if (cycle < 7) return int64_t{cycle} + 9;
    return int64_t{cycle} + 15;
}

}  // namespace

extern "C" void GrfCipherBlocks(uint8_t* buffer, int32_t length) {
    for (int64_t at = 0; at < length; at += 8) TransformBlock(buffer + at);
}

void EntryCipherStart(EntryCipher* cipher, int32_t cycle, bool headerOnly, bool decipher) {
    cipher->adjusted = static_cast<uint64_t>(AdjustCycle(cycle));
    cipher->next = 0;
    cipher->counter = 0;
    cipher->multiple =
        (grf::kCipherHeaderBlocks + cipher->adjusted - 1) / cipher->adjusted * cipher->adjusted;
    cipher->headerOnly = headerOnly;
    cipher->decipher = decipher;
}

void EntryCipherRun(EntryCipher* c, uint8_t* buffer, uint64_t blocks) {
    uint64_t first = c->next;
    uint64_t end = first + blocks;  // block indices of the entry, [first, end)
    c->next = end;
    auto block = [&](uint64_t index) { return buffer + (index - first) * 8; };
    for (uint64_t i = first; i < end && i < grf::kCipherHeaderBlocks; ++i) TransformBlock(block(i));
    if (c->headerOnly) return;

    // Past the header, blocks at multiples of the adjusted cycle are
    // transformed; of the others, the 8th and then every 7th is shuffled.
    // The walk jumps from one such block to the next instead of visiting
    // every block: most of a large entry is left as it is.
    uint64_t i = first > grf::kCipherHeaderBlocks ? first : grf::kCipherHeaderBlocks;
    while (i < end) {
        uint64_t runEnd = c->multiple < end ? c->multiple : end;  // plain run [i, runEnd)
        if (runEnd > i) {
            uint64_t at = i + (7 - c->counter);
            uint64_t last = 0;
            bool shuffled = false;
            for (; at < runEnd; at += 7) {
                Shuffle(block(at), c->decipher);
                last = at;
                shuffled = true;
            }
            c->counter = shuffled ? 1 + (runEnd - 1 - last) : c->counter + (runEnd - i);
        }
        if (c->multiple >= end) break;
        TransformBlock(block(c->multiple));
        i = c->multiple + 1;
        c->multiple += c->adjusted;
    }
}

extern "C" void GrfCipherEntryData(uint8_t* buffer, uint32_t length, int headerOnly, int32_t cycle,
                                   int direction) {
    EntryCipher cipher;
    EntryCipherStart(&cipher, cycle, headerOnly != 0, direction == 0);
    EntryCipherRun(&cipher, buffer, (uint64_t{length} + 7) / 8);
}

extern "C" uint8_t* GrfCipherName(uint8_t* buffer, uint32_t length, int decode) {
    auto swapNibbles = [&] {
        for (uint32_t i = 0; i < length; ++i)
            buffer[i] = static_cast<uint8_t>((buffer[i] << 4) | (buffer[i] >> 4));
    };
    if (decode) {
        swapNibbles();
        for (uint64_t at = 0; at < length; at += 8) TransformBlock(buffer + at);
    } else {
        for (uint64_t at = 0; at < length; at += 8) TransformBlock(buffer + at);
        swapNibbles();
    }
    return buffer;
}
