// text_cp949.h -- code page 949 to wide text through the platform's
// converter, private to the text decoder. One file per platform.
#ifndef CASKWRIGHT_TEXT_CP949_H
#define CASKWRIGHT_TEXT_CP949_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// Converts size bytes of code page 949 (no NUL among them) into out, which
// has room for size wide characters: a byte gives at most one. A byte or
// pair the code page does not map becomes "?" and decoding goes on at the
// next byte. Returns the characters written, or (size_t)-1 when the
// platform's converter is missing or refuses the run.
size_t Cp949RunToWide(const uint8_t* bytes, size_t size, wchar_t* out);

#endif
