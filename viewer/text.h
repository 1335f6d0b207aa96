/*
 * text.h -- entries that are text: recognising them by name or by their
 * bytes, and decoding them into wide text ready for a read-only text view.
 *
 * Decoding: a byte order mark decides first (UTF-8 EF BB BF, UTF-16 FF FE
 * or FE FF, the mark itself dropped); otherwise bytes that are valid UTF-8
 * (plain ASCII included) are UTF-8, and anything else is code page 949, the
 * game's own. Compiled Lua (bytes "\x1BLua", usually named ".lub") is
 * recognised and not decoded: its bytes mean nothing as text.
 *
 * The text handed out has every line break as CR LF (a lone CR or LF
 * becomes CR LF, as text views draw only those), a NUL character in the
 * entry as U+FFFD, and a terminating NUL. wchar_t is UTF-16 on Windows
 * (characters past U+FFFF as surrogate pairs) and UTF-32 elsewhere.
 *
 * Portable (static library caskwright_viewer); code page 949 goes through
 * the platform's converter, a byte or pair it does not map becoming "?".
 */
#ifndef CASKWRIGHT_TEXT_H
#define CASKWRIGHT_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

enum TextEncoding : uint32_t {
    TEXT_UTF8 = 1,        /* valid UTF-8 or UTF-8 with its mark */
    TEXT_UTF16LE = 2,     /* with the mark FF FE */
    TEXT_UTF16BE = 3,     /* with the mark FE FF */
    TEXT_CP949 = 4,       /* anything else */
    TEXT_COMPILED_LUA = 5 /* compiled Lua: no text */
};

/* Whether a name's last extension is one of text's, in any case: .txt,
   .lua, .lub, .xml, .ini, .json, .log, .yml, .yaml, .csv, .tsv, .cfg,
   .conf, .htm, .html, .css, .js, .md, .inf, .nfo, .sql, .bat, .cmd, .sh,
   .py, .c, .h, .cpp, .hpp, .lst, .def, .properties. */
bool IsTextName(const wchar_t* name);

/* Whether the bytes are compiled Lua: they start with "\x1BLua". */
bool IsCompiledLua(const uint8_t* data, uint32_t size);

/* Whether bytes with no telling name are text: not empty; a UTF-8 or
   UTF-16 mark; or, in the first 64 KiB, no NUL byte and at most one byte
   in a hundred that is a control character (other than tab, line feed,
   vertical tab, form feed, carriage return, escape and 0x1A) or breaks
   both UTF-8 and code page 949. */
bool LooksLikeText(const uint8_t* data, uint32_t size);

struct EntryText {
    TextEncoding encoding;
    wchar_t* text; /* from malloc, NUL-ended; null for compiled Lua */
    size_t length; /* characters (wchar_t units) before the NUL */
};

/* Decodes an entry as text (see above). Returns false, leaving *out empty,
   for null data or no memory; an empty entry is empty UTF-8 text. */
bool DecodeEntryText(const uint8_t* data, uint32_t size, EntryText* out);

/* Releases the text and empties *text. Safe on an empty one. */
void FreeEntryText(EntryText* text);

#endif
