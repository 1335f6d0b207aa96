// fuzz_text -- text recognition and decoding on fuzzed bytes: no read
// outside the entry, and decoded text ends where its length says with CR LF
// as its only line breaks.
#include <stdint.h>
#include <text.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LooksLikeText(data, uint32_t(size));
    EntryText text;
    if (!DecodeEntryText(data ? data : reinterpret_cast<const uint8_t*>(""), uint32_t(size), &text))
        return 0;
    if (text.encoding == TEXT_COMPILED_LUA) {
        if (text.text) __builtin_trap();
        return 0;
    }
    if (!text.text || text.text[text.length] != L'\0') __builtin_trap();
    for (size_t i = 0; i < text.length; ++i) {
        if (text.text[i] == L'\0') __builtin_trap();
        if (text.text[i] == L'\r' && (i + 1 == text.length || text.text[i + 1] != L'\n'))
            __builtin_trap();
        if (text.text[i] == L'\n' && (i == 0 || text.text[i - 1] != L'\r')) __builtin_trap();
    }
    FreeEntryText(&text);
    return 0;
}
