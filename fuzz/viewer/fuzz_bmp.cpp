// fuzz_bmp -- the bitmap checks on fuzzed files: whatever they accept, the
// header, colour table and pixels they describe lie inside the entry (every
// byte the platform would read is read here, under AddressSanitizer).
#include <preview.h>
#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BmpLayout layout;
    if (!CheckBmpEntry(data, uint32_t(size), &layout)) return 0;
    if (layout.width <= 0 || layout.height == 0 || layout.infoBytes < 40) __builtin_trap();
    volatile uint32_t sum = 0;
    for (uint32_t i = 0; i < layout.infoBytes; ++i) sum = sum + data[layout.infoOffset + i];
    for (uint32_t i = 0; i < layout.pixelBytes; ++i) sum = sum + data[layout.pixelOffset + i];
    return 0;
}
