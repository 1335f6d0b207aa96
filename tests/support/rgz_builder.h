// rgz_builder.h -- RGZ patch files built byte by byte for tests and fuzz
// seeds, independent of the engine's reader and writer.
#ifndef CASKWRIGHT_RGZ_BUILDER_H
#define CASKWRIGHT_RGZ_BUILDER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "test_support.h"

// One record: 'd' a folder, 'f' a file with its content, 'e' the end.
struct RgzRecord {
    char type;
    std::string name;  // raw bytes, code page 949
    Bytes content;     // 'f' only
};

// The records as they stand before gzip: type, the name's length counting
// its NUL, the name and the NUL, and for a file the size and content.
Bytes RgzRecords(const std::vector<RgzRecord>& records);

// bytes as one gzip member (zlib's gzip wrapper, level 6).
Bytes Gzip(const Bytes& bytes);
// The bytes of every gzip member one after another, inflated; empty when
// they do not inflate whole.
Bytes Gunzip(const Bytes& gzip);

// The records, each folder of every file before it and the end after them,
// as one gzip member.
Bytes BuildRgz(const std::vector<RgzRecord>& files);

#endif
