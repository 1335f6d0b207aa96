// text_cp949_win32.cpp -- Cp949RunToWide through MultiByteToWideChar, which
// maps what the code page does not know to its default character itself.
#include <limits.h>
#include <windows.h>

#include "text_cp949.h"

size_t Cp949RunToWide(const uint8_t* bytes, size_t size, wchar_t* out) {
    const UINT kCodePage949 = 949;
    if (size == 0) return 0;
    if (size > INT_MAX) return static_cast<size_t>(-1);
    int n = MultiByteToWideChar(kCodePage949, 0, reinterpret_cast<const char*>(bytes), int(size),
                                out, int(size));
    return n > 0 ? size_t(n) : static_cast<size_t>(-1);
}
