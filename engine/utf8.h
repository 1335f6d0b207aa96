// utf8.h -- UTF-8 to and from wide text, strict, for the few places where
// text arrives as UTF-8 whatever the system: a client's DATA.INI and, on
// POSIX, file names.
#ifndef CASKWRIGHT_UTF8_H
#define CASKWRIGHT_UTF8_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// Decodes size bytes of UTF-8 into out (capacity characters, NUL added).
// False on a malformed, overlong or surrogate sequence, or when out is full.
inline bool Utf8Decode(const char* text, size_t size, wchar_t* out, size_t capacity) {
    const auto* at = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = at + size;
    size_t n = 0;
    while (at < end) {
        uint32_t c = *at;
        int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || end - at <= more) return false;
        if (more) c &= 0x3Fu >> more;
        for (int i = 1; i <= more; ++i) {
            if ((at[i] & 0xC0) != 0x80) return false;
            c = (c << 6) | (at[i] & 0x3Fu);
        }
        static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (c < kLeast[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        at += more + 1;
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            if (n + 2 >= capacity) return false;
            out[n++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            continue;
        }
        if (n + 1 >= capacity) return false;
        out[n++] = static_cast<wchar_t>(c);
    }
    if (n >= capacity) return false;
    out[n] = L'\0';
    return true;
}

#endif
