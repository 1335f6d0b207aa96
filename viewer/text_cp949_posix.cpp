// text_cp949_posix.cpp -- Cp949RunToWide through iconv. A converter of its
// own per call: iconv descriptors keep state and must not be shared between
// threads, and a text entry is decoded once.
#include <errno.h>
#include <iconv.h>

#include "text_cp949.h"

size_t Cp949RunToWide(const uint8_t* bytes, size_t size, wchar_t* out) {
    iconv_t cd = iconv_open("WCHAR_T", "CP949");
    if (cd == reinterpret_cast<iconv_t>(-1)) return static_cast<size_t>(-1);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
    size_t inLeft = size;
    char* to = reinterpret_cast<char*>(out);
    size_t toLeft = size * sizeof(wchar_t);
    size_t result = 0;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1)) break;
        if (errno != EILSEQ && errno != EINVAL) {
            result = static_cast<size_t>(-1);
            break;
        }
        // Unmapped, or a lead byte cut by the run's end: one "?" for it.
        *reinterpret_cast<wchar_t*>(to) = L'?';
        to += sizeof(wchar_t);
        toLeft -= sizeof(wchar_t);
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    if (result != 0) return result;
    return static_cast<size_t>(reinterpret_cast<wchar_t*>(to) - out);
}
