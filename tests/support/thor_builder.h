// thor_builder.h -- patch files (THOR) built byte by byte for tests, fuzz
// seeds and benchmarks, independent of the engine's writer.
#ifndef CASKWRIGHT_THOR_BUILDER_H
#define CASKWRIGHT_THOR_BUILDER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "test_support.h"

// A file of a patch, or (removal) a name it deletes. An empty content is
// stored with size 0 and no bytes.
struct ThorFile {
    std::string name;  // raw bytes, code page 949
    Bytes content;
    bool removal = false;
};

// The header up to the target name and its length byte: text, merge byte,
// count, layout, target.
Bytes ThorHeader(uint8_t merge, uint32_t count, uint16_t layout, const std::string& target);

// One table record as it stands in the inflated table.
Bytes ThorTableRecord(const std::string& name, bool removal, uint32_t offset = 0,
                      int32_t stored = 0, int32_t real = 0);

// A table-layout patch: header, each file's zlib stream in order (padded
// with zeros to a multiple of 8 when pad), then the table's stream, whose
// size and offset the header names. The count is the number of records.
Bytes BuildThor(const std::vector<ThorFile>& files, const std::string& target = "",
                uint8_t merge = 1, bool pad = false);

// A table-layout patch around a table given as it stands before deflating
// (records may lie), placed after the header and the given data bytes.
Bytes BuildThorWithTable(const Bytes& data, const Bytes& table, const std::string& target = "",
                         uint8_t merge = 1, uint32_t count = 0);

// A single-file patch: header, filler, sizes, name, the stream, "SEALED!".
Bytes BuildSingleThor(const std::string& name, const Bytes& content, const std::string& target = "",
                      uint8_t merge = 0);

#endif
