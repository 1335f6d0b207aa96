// fuzz_data_ini -- a client's DATA.INI from fuzzed bytes: the parser stays
// inside them and every name it lists is non-empty, in a block that ends
// with an empty name after exactly that many.
#include <client_internal.h>
#include <grf.h>
#include <stdint.h>
#include <stdlib.h>
#include <wchar.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t count = 0;
    wchar_t* names = ParseDataIni(reinterpret_cast<const char*>(data), size, &count);
    if (!names) abort();
    uint32_t seen = 0;
    for (const wchar_t* at = names; *at; at += wcslen(at) + 1) ++seen;
    if (seen != count) abort();
    GrfFreeBuffer(names);
    return 0;
}
