// names.cpp -- UTF-8, wide text and archive names. Code page 949 goes
// through the engine's own conversions, one character at a time and
// remembered, so a name prints the same way the engine names its file, and
// half a million names cost one conversion per distinct character.
#include "names.h"

#include <grf.h>
#include <string.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace caskw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

// ---------------------------------------------------------------------------
// UTF-8

// Decodes one code point at text[*at]; false on a malformed, overlong or
// surrogate sequence.
bool DecodeUtf8(std::string_view text, size_t* at, char32_t* c) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t b0 = byte(*at);
    size_t length = b0 < 0x80 ? 1 : b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (length == 0 || *at + length > text.size()) return false;
    char32_t value = length == 1 ? b0 : b0 & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        uint8_t b = byte(*at + i);
        if ((b & 0xC0) != 0x80) return false;
        value = (value << 6) | (b & 0x3F);
    }
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *at += length;
    *c = value;
    return true;
}

// ---------------------------------------------------------------------------
// Code page 949, one character at a time through the engine

// What extraction names a byte sequence, remembered per sequence: code
// points of two-byte characters and of lone bytes, filled on first sight
// from the engine's own file naming (GrfFileName), so that printed names
// and extracted files agree byte for byte. 0 not yet asked, kNoChar when
// the bytes are no character.
constexpr char32_t kNoChar = 0xFFFFFFFF;
char32_t g_pairChars[1 << 16];
char32_t g_byteChars[1 << 8];

// The one character the engine makes of text, or kNoChar when it makes
// more (an escape) or none.
char32_t EngineChar(const char* text) {
    wchar_t* wide = GrfFileName(text);
    char32_t result = kNoChar;
    if (wide && wide[0] != 0 && wide[1] == 0) result = static_cast<char32_t>(wide[0]);
    GrfFreeBuffer(wide);
    return result;
}

char32_t PairChar(uint8_t lead, uint8_t trail) {
    char32_t& slot = g_pairChars[lead << 8 | trail];
    if (slot == 0) {
        char text[3] = {static_cast<char>(lead), static_cast<char>(trail), 0};
        slot = EngineChar(text);
    }
    return slot;
}

char32_t ByteChar(uint8_t byte) {
    char32_t& slot = g_byteChars[byte];
    if (slot == 0) {
        char text[2] = {static_cast<char>(byte), 0};
        slot = EngineChar(text);
    }
    return slot;
}

// The code page 949 bytes of one non-ASCII character (two bytes, as the
// code page has no other), or 0 when it has none. Remembered per character.
uint16_t CharBytes(char32_t c) {
    static std::unordered_map<char32_t, uint16_t> known;
    auto found = known.find(c);
    if (found != known.end()) return found->second;
    uint16_t bytes = 0;
    std::wstring wide;
    if (c <= 0xFFFF || sizeof(wchar_t) == 4) {
        wide.push_back(static_cast<wchar_t>(c));
        char* narrow = GrfWideToCp949(wide.c_str());
        if (narrow && strlen(narrow) == 2) {
            auto lead = static_cast<uint8_t>(narrow[0]);
            auto trail = static_cast<uint8_t>(narrow[1]);
            if (PairChar(lead, trail) == c) bytes = static_cast<uint16_t>(lead << 8 | trail);
        }
        GrfFreeBuffer(narrow);
    }
    known.emplace(c, bytes);
    return bytes;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

void AppendUtf8(char32_t c, std::string* out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool Utf8ToCodePoints(std::string_view text, std::u32string* out) {
    out->clear();
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        if (!DecodeUtf8(text, &at, &c)) return false;
        out->push_back(c);
    }
    return true;
}

bool Utf8ToWide(std::string_view text, std::wstring* out) {
    out->clear();
    for (size_t at = 0; at < text.size();) {
        char32_t c = 0;
        if (!DecodeUtf8(text, &at, &c)) return false;
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            c -= 0x10000;
            out->push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<wchar_t>(c));
        }
    }
    return true;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            auto low = static_cast<char32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(c, &out);
    }
    return out;
}

void AppendDisplayName(const char* name, std::string* out) {
    size_t length = strlen(name);
    for (size_t i = 0; i < length;) {
        // Runs of ASCII go over as they are.
        size_t run = i;
        while (run < length && static_cast<uint8_t>(name[run]) < 0x80) ++run;
        out->append(name + i, run - i);
        if ((i = run) == length) break;
        // As the engine converts: a pair if it makes a character, else the
        // byte alone, else its escape; then on with the next byte.
        auto byte = static_cast<uint8_t>(name[i]);
        char32_t c = i + 1 < length ? PairChar(byte, static_cast<uint8_t>(name[i + 1])) : kNoChar;
        if (c != kNoChar) {
            AppendUtf8(c, out);
            i += 2;
            continue;
        }
        if ((c = ByteChar(byte)) != kNoChar) {
            AppendUtf8(c, out);
        } else {
            out->push_back('%');
            out->push_back(kHex[byte >> 4]);
            out->push_back(kHex[byte & 15]);
        }
        ++i;
    }
}

std::string DisplayName(const char* name) {
    std::string out;
    AppendDisplayName(name, &out);
    return out;
}

void EscapeControls(std::string* text) {
    auto control = [](char c) { return static_cast<uint8_t>(c) < 0x20 || c == 0x7F; };
    if (std::none_of(text->begin(), text->end(), control)) return;
    std::string escaped;
    escaped.reserve(text->size() + 8);
    for (char c : *text) {
        if (!control(c)) {
            escaped.push_back(c);
            continue;
        }
        auto byte = static_cast<uint8_t>(c);
        escaped += "\\x";
        escaped.push_back(kHex[byte >> 4]);
        escaped.push_back(kHex[byte & 15]);
    }
    text->swap(escaped);
}

std::string ShownName(const char* name) {
    std::string shown = DisplayName(name);
    EscapeControls(&shown);
    return shown;
}

bool ArchiveName(std::string_view utf8, std::string* out) {
    out->clear();
    for (size_t at = 0; at < utf8.size();) {
        char32_t c = 0;
        if (utf8[at] == '%' && at + 2 < utf8.size()) {
            int high = HexValue(utf8[at + 1]);
            int low = HexValue(utf8[at + 2]);
            if (high >= 8 && low >= 0) {
                out->push_back(static_cast<char>(high << 4 | low));
                at += 3;
                continue;
            }
        }
        if (!DecodeUtf8(utf8, &at, &c)) return false;
        if (c == '/') c = '\\';
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
            continue;
        }
        uint16_t bytes = CharBytes(c);
        if (bytes == 0) return false;
        out->push_back(static_cast<char>(bytes >> 8));
        out->push_back(static_cast<char>(bytes & 0xFF));
    }
    return true;
}

std::string HexBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char b : bytes) {
        auto byte = static_cast<uint8_t>(b);
        out.push_back(kLowerHex[byte >> 4]);
        out.push_back(kLowerHex[byte & 15]);
    }
    return out;
}

}  // namespace caskw
