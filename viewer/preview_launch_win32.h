// preview_launch_win32.h -- starting a preview: an entry's bytes become the
// current preview, are decoded or played, and the preview window shows the
// picture or closes. Windows only (library caskwright_preview_window).
#ifndef CASKWRIGHT_PREVIEW_LAUNCH_WIN32_H
#define CASKWRIGHT_PREVIEW_LAUNCH_WIN32_H

#include <stdint.h>

#include "preview.h"

// Makes data (an entry block, or null; size bytes followed by a zero tail of
// at least 10 bytes) the current preview and takes it over: stops a sound
// still playing from the previous block, releases that block
// (g_previewSetup.releaseData) and the previous picture, then decodes the
// new entry by type (a sound is played asynchronously from the block). Shows
// and fits the preview window when a picture results, and otherwise closes
// it.
void ShowEntryPreview(uint8_t* data, uint32_t size, PreviewType type);

#endif
