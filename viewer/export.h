/*
 * export.h -- pictures written out: one picture as PNG (libpng), a sequence
 * as an animated GIF (giflib), an animation's action as GIF in one call, and
 * the file step that puts encoded bytes on disk safely.
 *
 * Encoders take pictures in the form of rgba.h and hand back a block from
 * malloc (the caller frees it) holding the whole file; nothing is written
 * until WriteExportFile.
 *
 * Portable (static library caskwright_viewer); the file step has a POSIX
 * and a Windows file behind it.
 */
#ifndef CASKWRIGHT_EXPORT_H
#define CASKWRIGHT_EXPORT_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "act.h"
#include "rgba.h"

/* PNG of the picture: 8 bits a channel, red, green, blue and alpha, not
   interlaced. Returns false (*out null, *outSize 0) for an empty picture or
   a library failure. */
bool EncodePng(const RgbaPicture* picture, uint8_t** out, size_t* outSize);

/* Animated GIF (GIF89a) of `count` frames of one size, looping for ever.
   Frame i stays delaysMs[i] milliseconds, rounded to hundredths of a
   second, at least 2 (0.02 s: viewers slow anything shorter down). A pixel
   with alpha below 128 is transparent, any other is drawn opaque in its
   colour; each frame replaces the whole of the one before. All frames
   share one colour table: their exact colours when there are at most 255,
   otherwise 255 found by median cut over colours at 5 bits a channel, each
   pixel taking its cell's colour. Returns false (*out null, *outSize 0)
   for no frames, frames of different sizes, or a library failure. */
bool EncodeGifAnimation(const RgbaPicture* frames, const uint32_t* delaysMs, uint32_t count,
                        uint8_t** out, size_t* outSize);

/* An action of an animation as a GIF: every frame composed on the action's
   canvas (ActActionCanvas, ComposeActFrame) with the action's frame delay.
   palette is 1024 bytes in place of the sprite's own, or null. Returns
   false for an action out of range or without frames, or a failure of the
   steps above. */
bool ExportActionGif(const ActFile* act, const SprSheet* sprite, const uint8_t* palette,
                     uint32_t action, uint8_t** out, size_t* outSize);

/* Writes bytes as the file at path: first to a new temporary file beside
   it, flushed to disk, then renamed over path in one step, so that a
   failure or a crash at any moment leaves either the old file or the whole
   new one. An existing file at path is replaced when replaceExisting is
   true, otherwise left as it is (false). A link at path is replaced, never
   written through. Returns false, leaving no temporary file, on any
   failure. */
bool WriteExportFile(const wchar_t* path, const uint8_t* bytes, size_t size, bool replaceExisting);

#endif
