// text_decoder.cpp -- telling text entries and decoding them to wide text.
#include <stdlib.h>
#include <string.h>

#include "text.h"
#include "text_cp949.h"

namespace {

const uint32_t kSniffBytes = 64 * 1024;
const wchar_t kReplacement = 0xFFFD;

bool EqualsNoCase(const wchar_t* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        wchar_t c = *a;
        if (c >= L'A' && c <= L'Z') c = wchar_t(c - L'A' + L'a');
        if (c != wchar_t(*b)) return false;
    }
    return *a == 0 && *b == 0;
}

// Length of the valid UTF-8 sequence at p (1 to 4) and its code point, or 0
// when the bytes there are not one: overlong forms, surrogates and values
// past U+10FFFF are invalid; so is a sequence cut by `left`.
uint32_t Utf8Sequence(const uint8_t* p, uint32_t left, uint32_t* codePoint) {
    uint8_t lead = p[0];
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    uint32_t length, value, least;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, value = lead & 0x1F, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, value = lead & 0x0F, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, value = lead & 0x07, least = 0x10000;
    else
        return 0;
    if (left < length) return 0;
    for (uint32_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = value << 6 | (p[i] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

bool IsValidUtf8(const uint8_t* data, uint32_t size) {
    uint32_t codePoint;
    for (uint32_t i = 0; i < size;) {
        uint32_t length = Utf8Sequence(data + i, size - i, &codePoint);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// A code page 949 pair: lead 0x81-0xFE, trail a letter or 0x81-0xFE.
bool IsCp949Pair(const uint8_t* p, uint32_t left) {
    if (left < 2 || p[0] < 0x81 || p[0] == 0xFF) return false;
    uint8_t t = p[1];
    return (t >= 0x41 && t <= 0x5A) || (t >= 0x61 && t <= 0x7A) || (t >= 0x81 && t <= 0xFE);
}

bool IsOddControl(uint8_t c) {
    if (c == 0x7F) return true;
    if (c >= 0x20) return false;
    return !(c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A ||
             c == 0x1B);
}

// Wide text being built, growing as needed.
struct WideBuilder {
    wchar_t* text = nullptr;
    size_t length = 0;
    size_t capacity = 0;
    bool failed = false;

    bool Reserve(size_t more) {
        if (failed) return false;
        if (capacity - length > more) return true;
        size_t grown = capacity ? capacity : 64;
        while (grown - length <= more) grown *= 2;
        wchar_t* bigger = static_cast<wchar_t*>(realloc(text, grown * sizeof(wchar_t)));
        if (!bigger) {
            failed = true;
            return false;
        }
        text = bigger;
        capacity = grown;
        return true;
    }
    void Put(wchar_t c) {
        if (Reserve(1)) text[length++] = c;
    }
    void PutCodePoint(uint32_t c) {
        if (c == 0) c = kReplacement;
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            c -= 0x10000;
            Put(wchar_t(0xD800 + (c >> 10)));
            Put(wchar_t(0xDC00 + (c & 0x3FF)));
            return;
        }
        Put(wchar_t(c));
    }
};

void DecodeUtf8(const uint8_t* data, uint32_t size, WideBuilder* out) {
    uint32_t codePoint;
    for (uint32_t i = 0; i < size;) {
        uint32_t length = Utf8Sequence(data + i, size - i, &codePoint);
        if (length == 0) {  // only after a mark: the rest was not checked
            codePoint = kReplacement;
            length = 1;
        }
        out->PutCodePoint(codePoint);
        i += length;
    }
}

void DecodeUtf16(const uint8_t* data, uint32_t size, bool bigEndian, WideBuilder* out) {
    auto unit = [&](uint32_t i) -> uint32_t {
        return bigEndian ? uint32_t(data[i] << 8 | data[i + 1])
                         : uint32_t(data[i] | data[i + 1] << 8);
    };
    uint32_t i = 0;
    for (; i + 1 < size; i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < size) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out->PutCodePoint(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        out->PutCodePoint(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
    }
    if (i < size) out->PutCodePoint(kReplacement);  // an odd last byte
}

// Each run of bytes between NULs through the platform's converter, each NUL
// as U+FFFD.
void DecodeCp949(const uint8_t* data, uint32_t size, WideBuilder* out) {
    for (uint32_t start = 0; start <= size && !out->failed;) {
        const uint8_t* nul = static_cast<const uint8_t*>(memchr(data + start, 0, size - start));
        uint32_t end = nul ? uint32_t(nul - data) : size;
        if (end > start && out->Reserve(end - start)) {
            size_t n = Cp949RunToWide(data + start, end - start, out->text + out->length);
            if (n == static_cast<size_t>(-1)) {
                out->failed = true;
                break;
            }
            out->length += n;
        }
        if (!nul) break;
        out->Put(kReplacement);
        start = end + 1;
    }
}

// Every lone CR or LF becomes CR LF; ends the text with a NUL.
bool FinishLines(WideBuilder* in, EntryText* out) {
    WideBuilder lines;
    for (size_t i = 0; i < in->length; ++i) {
        wchar_t c = in->text[i];
        if (c == L'\r' || c == L'\n') {
            lines.Put(L'\r');
            lines.Put(L'\n');
            if (c == L'\r' && i + 1 < in->length && in->text[i + 1] == L'\n') ++i;
            continue;
        }
        lines.Put(c);
    }
    lines.Put(L'\0');
    if (lines.failed) {
        free(lines.text);
        return false;
    }
    out->text = lines.text;
    out->length = lines.length - 1;
    return true;
}

}  // namespace

bool IsTextName(const wchar_t* name) {
    static const char* const kExtensions[] = {
        "txt", "lua",  "lub", "xml",  "ini", "json", "log", "yml", "yaml", "csv",       "tsv",
        "cfg", "conf", "htm", "html", "css", "js",   "md",  "inf", "nfo",  "sql",       "bat",
        "cmd", "sh",   "py",  "c",    "h",   "cpp",  "hpp", "lst", "def",  "properties"};
    if (!name) return false;
    const wchar_t* dot = wcsrchr(name, L'.');
    if (!dot || wcschr(dot, L'\\') || wcschr(dot, L'/')) return false;
    for (const char* extension : kExtensions)
        if (EqualsNoCase(dot + 1, extension)) return true;
    return false;
}

bool IsCompiledLua(const uint8_t* data, uint32_t size) {
    return data && size >= 4 && memcmp(data, "\x1BLua", 4) == 0;
}

bool LooksLikeText(const uint8_t* data, uint32_t size) {
    if (!data || size == 0) return false;
    if (size >= 3 && memcmp(data, "\xEF\xBB\xBF", 3) == 0) return true;
    if (size >= 2 && (memcmp(data, "\xFF\xFE", 2) == 0 || memcmp(data, "\xFE\xFF", 2) == 0))
        return true;
    uint32_t scanned = size < kSniffBytes ? size : kSniffBytes;
    uint32_t odd = 0;
    for (uint32_t i = 0; i < scanned;) {
        uint8_t c = data[i];
        if (c == 0) return false;
        if (c < 0x80) {
            odd += IsOddControl(c);
            ++i;
            continue;
        }
        uint32_t codePoint;
        // A sequence cut by the end of the sample counts as whole.
        uint32_t length = Utf8Sequence(data + i, size - i, &codePoint);
        if (length == 0 && IsCp949Pair(data + i, size - i)) length = 2;
        if (length == 0) {
            ++odd;
            length = 1;
        }
        i += length;
    }
    return uint64_t(odd) * 100 <= scanned;
}

bool DecodeEntryText(const uint8_t* data, uint32_t size, EntryText* out) {
    *out = EntryText{};
    if (!data) return false;
    if (IsCompiledLua(data, size)) {
        out->encoding = TEXT_COMPILED_LUA;
        return true;
    }
    WideBuilder wide;
    TextEncoding encoding;
    if (size >= 3 && memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        encoding = TEXT_UTF8;
        DecodeUtf8(data + 3, size - 3, &wide);
    } else if (size >= 2 && memcmp(data, "\xFF\xFE", 2) == 0) {
        encoding = TEXT_UTF16LE;
        DecodeUtf16(data + 2, size - 2, false, &wide);
    } else if (size >= 2 && memcmp(data, "\xFE\xFF", 2) == 0) {
        encoding = TEXT_UTF16BE;
        DecodeUtf16(data + 2, size - 2, true, &wide);
    } else if (IsValidUtf8(data, size)) {
        encoding = TEXT_UTF8;
        DecodeUtf8(data, size, &wide);
    } else {
        encoding = TEXT_CP949;
        DecodeCp949(data, size, &wide);
    }
    bool done = !wide.failed && FinishLines(&wide, out);
    free(wide.text);
    if (!done) {
        *out = EntryText{};
        return false;
    }
    out->encoding = encoding;
    return true;
}

void FreeEntryText(EntryText* text) {
    free(text->text);
    *text = EntryText{};
}
