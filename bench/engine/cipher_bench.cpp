// cipher_bench -- throughput of the table-driven block transform beside the
// bit-by-bit reference it is checked against, and the cost of header-only
// entry deciphering as entries grow.
#include <grf.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "../../tests/engine/cipher_reference.h"
#include "bench_common.h"
#include "test_support.h"

namespace {

double MegabytesPerSecond(size_t bytes, double seconds) {
    return static_cast<double>(bytes) / seconds / 1e6;
}

}  // namespace

int main() {
    Bytes data = RandomBytes(64u << 20, 1);
    double tables =
        BestSeconds([&] { GrfCipherBlocks(data.data(), static_cast<int32_t>(data.size())); });

    Bytes sample(data.begin(), data.begin() + (1u << 20));
    double reference = BestSeconds([&] {
        for (size_t at = 0; at < sample.size(); at += 8) ReferenceBlock(sample.data() + at);
    });
    double tableRate = MegabytesPerSecond(data.size(), tables);
    double referenceRate = MegabytesPerSecond(sample.size(), reference);
    printf("block transform, lookup tables   %10.1f MB/s\n", tableRate);
    printf("block transform, bit by bit      %10.1f MB/s\n", referenceRate);
    char figure[32];
    snprintf(figure, sizeof figure, "%.1fx", tableRate / referenceRate);
    PrintAim("ratio", figure, "at least 100x", tableRate >= 100 * referenceRate);
    printf("\n");

    Bytes entry = RandomBytes(64u << 20, 2);
    double mixed = BestSeconds(
        [&] { GrfCipherEntryData(entry.data(), static_cast<uint32_t>(entry.size()), 0, 5, 0); });
    printf("entry data, mixed mode cycle 5   %10.1f MB/s\n",
           MegabytesPerSecond(entry.size(), mixed));

    // Header-only mode stops after block 20, whatever the length.
    for (uint32_t length : {160u, 4096u, 1u << 20, 64u << 20}) {
        double seconds = BestSeconds(
            [&] {
                for (int i = 0; i < 1000; ++i) GrfCipherEntryData(entry.data(), length, 1, 0, 0);
            },
            5);
        printf("entry data, header-only, %9u bytes: %8.1f ns per entry\n", length,
               seconds / 1000 * 1e9);
    }
    return BenchExitCode();
}
