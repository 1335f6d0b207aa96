// names.h -- the crossings between the command line's UTF-8 and the other
// encodings it meets: wide text (the engine's paths and user text; UTF-16
// on Windows, UTF-32 elsewhere) and archive names (code page 949 bytes with
// backslash separators, converted by the engine).
#ifndef CASKW_NAMES_H
#define CASKW_NAMES_H

#include <string>
#include <string_view>

namespace caskw {

// UTF-8 to wide; false (out unspecified) when text is not valid UTF-8.
bool Utf8ToWide(std::string_view text, std::wstring* out);
// Wide to UTF-8; unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::wstring_view text);
// Code points to UTF-8, and valid UTF-8 to code points (false when not).
void AppendUtf8(char32_t c, std::string* out);
bool Utf8ToCodePoints(std::string_view text, std::u32string* out);

// An archive name as people read it: UTF-8, backslash separators, and each
// byte that does not convert from code page 949 written as %XX (two
// upper-case hex digits), as extraction names such files.
std::string DisplayName(const char* name);
// The same, appended to out.
void AppendDisplayName(const char* name, std::string* out);

// Human output never hands a terminal a control byte from a name: each byte
// below 0x20 and 0x7F becomes \xHH (two upper-case hex digits), so a name
// cannot send escape sequences or split its line. JSON stays exact.
void EscapeControls(std::string* text);
// DisplayName with its control bytes escaped, for human output.
std::string ShownName(const char* name);

// The archive name for a UTF-8 name typed or found on disk: either separator
// becomes a backslash, each character converts to code page 949 exactly (no
// near matches), and %XX of a byte 0x80 or above stands for that byte, the
// inverse of DisplayName. False when some character has no code page 949
// form; the result may still be too long for the name field.
bool ArchiveName(std::string_view utf8, std::string* out);

// The stored bytes as lower-case hex digits.
std::string HexBytes(std::string_view bytes);

}  // namespace caskw

#endif
