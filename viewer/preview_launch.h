/*
 * preview_launch.h -- what the launch of a preview decides without the
 * window system: the kind of an entry, and whether a sound can be played
 * straight from its bytes.
 *
 * Portable (static library caskwright_viewer); the launch itself is in
 * preview_launch_win32.h.
 */
#ifndef CASKWRIGHT_PREVIEW_LAUNCH_H
#define CASKWRIGHT_PREVIEW_LAUNCH_H

#include <stdint.h>
#include <wchar.h>

#include "preview.h"

/* ---------------------------------------------------------------------------
 * Type detection.
 */

/* The kind of an entry from its wide name and its first bytes. Each kind
   needs both its leading bytes and its extension (".bmp", ".spr", ".tga",
   ".jpg" or ".jpeg", ".gat", ".wav"), found anywhere in the name, letters
   in any case; the kinds are tried in that order and the first whose two
   tests pass wins. A sprite needs palette or true-colour frames; a targa a
   true-colour or grey image, plain or run-length. data is null
   (PREVIEW_NONE) or holds at least 10 readable bytes, as every entry block
   does with its zero tail; the entry's size is not needed. A null name
   matches no extension. */
PreviewType DetectPreviewType(const wchar_t* name, const uint8_t* data);

/* Every kind the viewer knows, which needs the entry's size too: the kinds
   of DetectPreviewType first; then an animation ("AC", name with ".act"), a
   palette (exactly 1024 bytes, name with ".pal"), and text (PREVIEW_TEXT)
   for a text extension (IsTextName), compiled Lua, or bytes that look like
   text (text.h). */
PreviewType DetectEntryType(const wchar_t* name, const uint8_t* data, uint32_t size);

/* ---------------------------------------------------------------------------
 * Sounds.
 */

/* Whether a RIFF wave entry can be handed to the platform's player, which
   takes only the block and finds its way by the chunk sizes inside: the
   chunks from offset 12 up to and including a "fmt " chunk of 16 bytes or
   more and the "data" chunk after it must lie inside the entry's size bytes.
   A "data" chunk that claims more than the entry holds is cut to what it
   holds (the only change made to data), so a truncated sound plays what
   there is. Returns false, changing nothing, for anything else. */
bool FitWaveToEntry(uint8_t* data, uint32_t size);

#endif
