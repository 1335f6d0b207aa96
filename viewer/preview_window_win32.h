// preview_window_win32.h -- the preview window and the launch of a preview
// from the entry list. Windows only (library caskwright_preview_window); it
// uses the program's shared services (ui/services.h) for its strings and
// error box.
//
// One preview at a time: g_previewImage (preview.h) holds the entry's bytes
// and its picture; the window only shows them. Everything runs on the
// user-interface thread; the window's messages come through the main
// dialog's message loop.
#ifndef CASKWRIGHT_PREVIEW_WINDOW_WIN32_H
#define CASKWRIGHT_PREVIEW_WINDOW_WIN32_H

#include <windows.h>

#include "grf.h"
#include "preview.h"

// The preview window, or null while there is none.
extern HWND g_previewWindow;

// ---------------------------------------------------------------------------
// Launch.

// Previews an activated row's entry: reads its bytes from its owner archive
// by its name (an entry without an owner, or one that does not read, gives
// no data), recognises its kind and starts the preview. window is the main
// dialog.
void PreviewArchiveEntry(HWND window, const GrfEntry* entry);

// Makes data (a block from GrfReadEntry, or null; size bytes followed by a
// zero tail) the current preview and takes it over: stops a sound still
// playing from the previous block, releases that block and the previous
// picture, then decodes the new entry by type (a sound is played
// asynchronously from the block). Shows and fits the preview window when a
// picture results, and otherwise closes it.
void ShowEntryPreview(HWND window, const wchar_t* name, uint8_t* data, uint32_t size,
                      PreviewType type);

// ---------------------------------------------------------------------------
// The window (class "CASKWRIGHT", a tool window titled "Caskwright Viewer").

// Creates the window, hidden, registering its class the first time; or, when
// it exists, shows it and has it repainted.
void ShowPreviewWindow(void);

// Sizes the window to the current picture and shows it, without moving or
// activating it. Does nothing while there is no window.
void FitPreviewWindow(void);

LRESULT CALLBACK PreviewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws the button strip, the frame counter, the type name and the picture
// (skipping magenta pixels, or for a sprite the colour of its top-left
// pixel). Returns 0.
LRESULT PaintPreview(HWND window);

// Asks for a file name and saves the current picture there as a bitmap
// file; does nothing without a picture. window owns the dialog and messages.
void SavePreviewAsBmp(HWND window);

// A global block holding a BITMAPINFOHEADER and right after it the pixel
// rows of bitmap, bottom row first, at the bitmap's own depth (24 bits for a
// bitmap of 8 bits or fewer, which would need a colour table). The caller
// frees it with GlobalFree. Null when the pixels cannot be read.
HGLOBAL BitmapToPackedDib(HBITMAP bitmap);

// Writes a bitmap file of the block at path, which must not exist yet. On
// failure shows "Saving bitmap preview failed!" over owner and leaves no
// file of its own behind.
void WriteBmpFile(const wchar_t* path, HGLOBAL block, HWND owner);

#endif
