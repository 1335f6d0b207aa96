// data_ini.cpp -- the archives a game client's DATA.INI lists, in the order
// the client reads them.
#include <stdlib.h>
#include <string.h>

#include "client_internal.h"
#include "grf.h"
#include "platform.h"
#include "utf8.h"

namespace {

// A DATA.INI is a few lines; a larger file is read this far only.
constexpr uint32_t kMostBytes = 1 << 20;

struct Listed {
    long number;
    uint32_t order;  // as met, so equal numbers keep the file's order
    wchar_t* name;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

int CompareListed(const void* a, const void* b) {
    const auto* x = static_cast<const Listed*>(a);
    const auto* y = static_cast<const Listed*>(b);
    if (x->number != y->number) return x->number < y->number ? -1 : 1;
    return x->order < y->order ? -1 : x->order > y->order;
}

// The key's number: optional sign, then digits. False when no digit.
bool KeyNumber(const char* at, const char* end, long* number) {
    bool negative = false;
    if (at < end && (*at == '+' || *at == '-')) negative = *at++ == '-';
    if (at == end || *at < '0' || *at > '9') return false;
    long value = 0;
    for (; at < end && *at >= '0' && *at <= '9'; ++at)
        if (value < 100000000) value = value * 10 + (*at - '0');
    *number = negative ? -value : value;
    return true;
}

// A name as UTF-8 when it is that, else as the client's own code page.
wchar_t* NameOf(const char* at, size_t size) {
    auto* wide = static_cast<wchar_t*>(PlatformAlloc((size + 1) * sizeof(wchar_t)));
    if (!wide) return nullptr;
    if (Utf8Decode(at, size, wide, size + 1)) return wide;
    PlatformFree(wide);
    auto* narrow = static_cast<char*>(PlatformAlloc(size + 1));
    if (!narrow) return nullptr;
    memcpy(narrow, at, size);
    wide = PlatformCp949ToWide(narrow);
    PlatformFree(narrow);
    return wide;
}

}  // namespace

wchar_t* ParseDataIni(const char* bytes, size_t size, uint32_t* count) {
    *count = 0;
    if (size >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {  // a UTF-8 mark
        bytes += 3;
        size -= 3;
    }
    Listed* listed = nullptr;
    uint32_t used = 0, capacity = 0;
    size_t total = 1;  // characters of the block: names, their NULs, the last NUL
    bool inData = false, failed = false;
    for (const char* line = bytes; !failed && line < bytes + size;) {
        const char* end = static_cast<const char*>(memchr(line, '\n', bytes + size - line));
        const char* next = end ? end + 1 : bytes + size;
        if (!end) end = bytes + size;
        while (line < end && IsBlank(*line)) ++line;
        while (end > line && IsBlank(end[-1])) --end;
        const char* at = line;
        line = next;
        if (at == end || *at == ';' || *at == '#') continue;
        if (*at == '[') {
            const char* close = static_cast<const char*>(memchr(at, ']', end - at));
            const char* stop = close ? close : end;
            inData = stop - at == 5 && Lower(at[1]) == 'd' && Lower(at[2]) == 'a' &&
                     Lower(at[3]) == 't' && Lower(at[4]) == 'a';
            continue;
        }
        const char* equals = static_cast<const char*>(memchr(at, '=', end - at));
        long number = 0;
        if (!inData || !equals || !KeyNumber(at, equals, &number)) continue;
        const char* name = equals + 1;
        while (name < end && (*name == ' ' || *name == '\t')) ++name;
        if (name == end || memchr(name, '\0', end - name)) continue;
        if (used == capacity) {
            uint32_t grown = capacity ? capacity * 2 : 16;
            auto* more = static_cast<Listed*>(
                PlatformGrow(listed, capacity * sizeof(Listed), grown * sizeof(Listed)));
            if (!more) {
                failed = true;
                break;
            }
            listed = more;
            capacity = grown;
        }
        wchar_t* wide = NameOf(name, static_cast<size_t>(end - name));
        if (!wide) {
            failed = true;
            break;
        }
        listed[used] = Listed{number, used, wide};
        total += wcslen(wide) + 1;
        ++used;
    }
    wchar_t* block =
        failed ? nullptr : static_cast<wchar_t*>(PlatformAlloc(total * sizeof(wchar_t)));
    if (block) {
        if (used) qsort(listed, used, sizeof(Listed), CompareListed);
        wchar_t* at = block;
        for (uint32_t i = 0; i < used; ++i) {
            size_t length = wcslen(listed[i].name);
            wmemcpy(at, listed[i].name, length + 1);
            at += length + 1;
        }
        *at = L'\0';
        *count = used;
    }
    for (uint32_t i = 0; i < used; ++i) PlatformFree(listed[i].name);
    PlatformFree(listed);
    return block;
}

extern "C" wchar_t* GrfReadDataIni(const wchar_t* path, uint32_t* count) {
    if (count) *count = 0;
    PlatformFile* file = path ? PlatformOpenRead(path) : nullptr;
    if (!file) {
        GrfLastError = GRF_ERROR_NOT_FOUND;
        return nullptr;
    }
    uint64_t size = PlatformFileSize(file);
    uint32_t want = size < kMostBytes ? static_cast<uint32_t>(size) : kMostBytes;
    auto* bytes = static_cast<char*>(PlatformAlloc(want + 1));
    uint32_t got = 0;
    bool read = bytes && PlatformReadAt(file, 0, bytes, want, &got);
    PlatformClose(file);
    if (!read) {
        PlatformFree(bytes);
        GrfLastError = bytes ? GRF_ERROR_READ : GRF_ERROR_MEMORY;
        return nullptr;
    }
    uint32_t listed = 0;
    wchar_t* names = ParseDataIni(bytes, got, &listed);
    PlatformFree(bytes);
    GrfLastError = names ? GRF_OK : GRF_ERROR_MEMORY;
    if (count) *count = listed;
    return names;
}
