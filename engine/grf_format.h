// grf_format.h -- the numbers of the archive format as it lies on disk, in
// one place for the reader, the writer, the tests' archive builder and the
// benchmarks. Every field is little-endian (le_bytes.h); offsets are in bytes
// from the start of what they describe.
#ifndef CASKWRIGHT_GRF_FORMAT_H
#define CASKWRIGHT_GRF_FORMAT_H

#include <stdint.h>

#include "grf.h"

namespace grf {

// ---------------------------------------------------------------------------
// Header: the first GRF_HEADER_SIZE bytes of the file.

// The text that marks an archive; readers look for it anywhere before the
// header's first zero byte, writers put it at byte 0 with its zero after it.
inline constexpr char kMagic[] = "Master of Magic";
// The other text archives in use carry in its place (0x300 ones mostly,
// with two more bytes after its zero); read for every version, never
// written.
inline constexpr char kMagicOther[] = "Event Horizon";
// The key: 14 bytes that nothing deciphers with; writers store 1 to 14.
inline constexpr uint32_t kHeaderKey = 16;
inline constexpr uint8_t kKeySize = 14;
// Where the directory starts, counted from the end of the header.
inline constexpr uint32_t kHeaderDirOffset = 30;
// A number the count field is biased by: random from our 0x1xx writer, 0
// from it in 0x2xx, whatever other writers chose in their files.
inline constexpr uint32_t kHeaderSeed = 34;
// The number of records plus the seed plus kCountBias.
inline constexpr uint32_t kHeaderCount = 38;
// 0x1xx, 0x2xx or 0x300: the high byte picks the directory's layout.
inline constexpr uint32_t kHeaderVersion = 42;
// 0x300 widens the directory offset to a u64 at kHeaderDirOffset, over the
// seed, and stores the plain record count at kHeaderCount.
static_assert(kHeaderKey == sizeof kMagic && kHeaderDirOffset == kHeaderKey + kKeySize);
static_assert(kHeaderVersion + 4 == GRF_HEADER_SIZE);

// The count field never holds the plain count: records + seed + 7.
inline constexpr uint32_t kCountBias = 7;

// The directory offset and every record's offset count from the end of the
// header, so the first byte after it is offset 0.
inline constexpr uint32_t kOffsetBase = GRF_HEADER_SIZE;

// The major version (the version's high byte) of each directory layout.
inline constexpr uint32_t kMajorV1 = 1;
inline constexpr uint32_t kMajorV2 = 2;
inline constexpr uint32_t kMajorV3 = 3;
// The one 0x3xx version there is.
inline constexpr uint32_t kVersion300 = 0x300;

// ---------------------------------------------------------------------------
// 0x1xx directory: records back to back up to the end of the file. A record
// is u32 N, u16 filler, N - 6 bytes of name area (the encoded name, its zero
// and zeros up to a whole block), then kV1Tail bytes of fields.

// The name area follows the length and the filler.
inline constexpr uint32_t kV1NameStart = 6;
inline constexpr uint32_t kV1Tail = 21;
// Fields from the start of the tail. The first u32 is unused (written 0).
inline constexpr uint32_t kV1TailCompressed = 4;  // compressed + real + kV1CompressedBias
inline constexpr uint32_t kV1TailAligned = 8;     // aligned + kV1AlignedBias
inline constexpr uint32_t kV1TailReal = 12;       // the real size, plain
inline constexpr uint32_t kV1TailType = 16;       // u8; 0 marks a folder, never an entry
inline constexpr uint32_t kV1TailOffset = 17;     // from kOffsetBase
static_assert(kV1TailOffset + 4 == kV1Tail);
// The 0x1xx layout hides its sizes behind these two constants.
inline constexpr uint32_t kV1CompressedBias = 715;
inline constexpr uint32_t kV1AlignedBias = 37579;

// ---------------------------------------------------------------------------
// 0x2xx directory: u32 compressed size, u32 table size, then the table as
// one zlib stream. A table record is the name and its zero, then kV2Tail
// bytes of fields.

inline constexpr uint32_t kV2Sizes = 8;
inline constexpr uint32_t kV2Tail = 17;
inline constexpr uint32_t kV2TailCompressed = 0;
inline constexpr uint32_t kV2TailAligned = 4;
inline constexpr uint32_t kV2TailReal = 8;
inline constexpr uint32_t kV2TailType = 12;    // u8; see the types below
inline constexpr uint32_t kV2TailOffset = 13;  // from kOffsetBase
static_assert(kV2TailOffset + 4 == kV2Tail);

// ---------------------------------------------------------------------------
// 0x300 directory: u32 reserved (written 0, never read), u32 compressed
// size, u32 table size, then the table. Records as in 0x2xx but with a u64
// offset.

inline constexpr uint32_t kV3Sizes = 12;
inline constexpr uint32_t kV3SizesPacked = 4;
inline constexpr uint32_t kV3SizesTable = 8;
inline constexpr uint32_t kV3Tail = 21;
static_assert(kV2TailOffset + 8 == kV3Tail);

// Record types. The type says how the stored bytes are enciphered; a type
// without kTypeFile is a folder. Any other type that marks a file is kept
// as an entry stored in a way we do not read (GRF_CYCLE_FOREIGN). Writers
// mark every record kTypeFile but those, which keep their own.
inline constexpr uint8_t kTypeFile = 1;        // a file: plain in 0x2xx
inline constexpr uint8_t kTypeMixed = 3;       // mixed mode, cycle from the compressed size
inline constexpr uint8_t kTypeHeaderOnly = 5;  // the first kCipherHeaderBlocks only

// ---------------------------------------------------------------------------
// Stored bytes.

// Enciphered entries transform whole blocks of this many bytes.
inline constexpr uint32_t kCipherBlock = 8;
// Header-only and mixed modes both transform an entry's first 20 blocks.
inline constexpr uint32_t kCipherHeaderBlocks = 20;
// Deflate turns one bit pair into at most 258 bytes: no stream of n bytes
// inflates to more than 1032 n, so a larger stated size is a lie.
inline constexpr uint64_t kMaxInflateRatio = 1032;
// LZMA codes a longest match in about 14 adaptive bits of a third of a bit
// at best: 273 bytes in no less than 0.3 bits, some 7,300 to 1. Twice that
// bounds what a stated size may claim.
inline constexpr uint64_t kMaxLzmaRatio = 16384;
// An LZMA entry's stored bytes: a zero byte, the 5 property bytes, then the
// raw stream, which decodes to the real size.
inline constexpr uint32_t kLzmaHead = 6;

}  // namespace grf

#endif
