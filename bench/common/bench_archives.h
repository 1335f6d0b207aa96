// bench_archives.h -- content and archives the benchmarks share: bytes that
// deflate about as well as game data, and the 20,000-entry archive of mixed
// sizes the command line benchmarks read. For benchmarks that link the test
// support (grf_builder.h, test_support.h).
#ifndef CASKWRIGHT_BENCH_ARCHIVES_H
#define CASKWRIGHT_BENCH_ARCHIVES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "grf_builder.h"
#include "test_support.h"

// Content that deflates about as well as game data: runs and noise.
inline Bytes GameLikeContent(size_t size, uint64_t seed) {
    Bytes noise = RandomBytes(size, seed);
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) out[i] = (i / 64) % 3 == 0 ? noise[i] : uint8_t(i / 256);
    return out;
}

// Writes a 0x200 archive of `entries` records named data\dirN\entryI.bin,
// 500 to a folder, their content one of 64 stored forms from 1 KB to about
// 90 KB (about 24 KB on average); returns the content's total size.
inline uint64_t WriteMixedArchive(const std::wstring& path, uint32_t entries) {
    std::vector<Stored> forms;
    for (int i = 0; i < 64; ++i) {
        size_t size = 1000 + static_cast<size_t>(i) * i * 22;
        forms.push_back(StoreContent(0x200, "x", GameLikeContent(size, i)));
    }
    ArchiveFileWriter writer;
    writer.Open(path, 0x200);
    uint64_t total = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const Stored& form = forms[(i * 7) % forms.size()];
        RawRecord r = form.record;
        r.name = "data\\dir" + std::to_string(i / 500) + "\\entry" + std::to_string(i) + ".bin";
        writer.Add(r, form.bytes.data(), form.bytes.size());
        total += r.realSize;
    }
    writer.Finish();
    return total;
}

#endif
