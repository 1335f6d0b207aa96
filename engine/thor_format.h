// thor_format.h -- the numbers of a patch file (THOR) as it lies on disk, for
// the reader, the writer and the tests' builder. Every field is
// little-endian; every offset in the file is absolute.
#ifndef CASKWRIGHT_THOR_FORMAT_H
#define CASKWRIGHT_THOR_FORMAT_H

#include <stdint.h>

namespace thor {

// The text at byte 0, without a zero after it.
inline constexpr char kMagic[] = "ASSF (C) 2007 Aeomin DEV";
inline constexpr uint32_t kMagicSize = sizeof kMagic - 1;
static_assert(kMagicSize == 24);

// Header fields after the text.
inline constexpr uint32_t kMergeMode = 24;     // u8: 1 merge into an archive, 0 loose files
inline constexpr uint32_t kFileCount = 25;     // u32: what the writer counted; not relied on
inline constexpr uint32_t kMode = 29;          // u16: the layout that follows
inline constexpr uint32_t kTargetLength = 31;  // u8: L, the target archive's name length
inline constexpr uint32_t kTarget = 32;        // L bytes of name, no zero
// What follows the target name, by layout.
inline constexpr uint16_t kModeTable = 0x30;   // i32 table size, i32 table offset
inline constexpr uint16_t kModeSingle = 0x21;  // one filler byte, then the single record
inline constexpr uint32_t kTableFields = 8;
inline constexpr uint32_t kSingleFields = 1 + 4 + 4 + 1;  // filler, sizes, name length

inline constexpr uint8_t kMergeLoose = 0;
inline constexpr uint8_t kMergeInto = 1;

// A table record: u8 N, N name bytes, u8 flags, then (unless a removal)
// u32 offset, i32 stored size, i32 real size.
inline constexpr uint8_t kFlagRemoval = 0x01;
inline constexpr uint32_t kRecordFields = 4 + 4 + 4;

// The single-file layout ends with this text after the stream, which
// readers do not need.
inline constexpr char kSealed[] = "SEALED!";

// The entry that lists a CRC-32 for each file, "path=0x%08x" lines.
inline constexpr char kIntegrityName[] = "data.integrity";

}  // namespace thor

#endif
