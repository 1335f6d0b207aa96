// fuzz_cipher -- the three transforms on fuzzed buffers, lengths and cycles:
// they stay inside the padded buffer and each pair of directions restores
// its input.
#include <grf.h>
#include <stdint.h>
#include <string.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    int32_t cycle;
    memcpy(&cycle, data, 4);
    uint8_t mode = data[4];
    data += 5;
    size -= 5;
    uint32_t length = static_cast<uint32_t>(size);
    // Owners pad buffers to whole blocks: exactly that much room, no more.
    std::vector<uint8_t> original(GrfAlign8(length));
    if (size) memcpy(original.data(), data, size);
    std::vector<uint8_t> buffer = original;

    switch (mode % 3) {
        case 0:
            GrfCipherBlocks(buffer.data(), static_cast<int32_t>(length));
            GrfCipherBlocks(buffer.data(), static_cast<int32_t>(length));
            break;
        case 1: {
            int headerOnly = (mode >> 2) & 1;
            if (cycle < 0) cycle = -(cycle + 1);
            GrfCipherEntryData(buffer.data(), length, headerOnly, cycle, 1);
            GrfCipherEntryData(buffer.data(), length, headerOnly, cycle, 0);
            break;
        }
        default:
            GrfCipherName(buffer.data(), length, 0);
            GrfCipherName(buffer.data(), length, 1);
            break;
    }
    if (buffer != original) __builtin_trap();
    return 0;
}
