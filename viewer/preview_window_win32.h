// preview_window_win32.h -- the preview window: a tool window showing the
// current preview (preview_bitmap_win32.h) under a strip of prev, next and
// write buttons, with the frame counter and the type name. Below them, as
// the preview needs: a row of tools (the action buttons and play or pause
// of an animation, the palette list of a sprite), then the picture (scaled
// down to fit the screen, or zoomed in), a read-only text view, or a
// notice of why nothing is shown. Windows only (library
// caskwright_preview_window).
//
// Its caption, texts and button strip are the program's resources, named in
// g_previewSetup before the first preview. Everything runs on the
// user-interface thread; the window's messages come through the program's
// message loop.
#ifndef CASKWRIGHT_PREVIEW_WINDOW_WIN32_H
#define CASKWRIGHT_PREVIEW_WINDOW_WIN32_H

#include <windows.h>

#include "preview_launch_win32.h"

// What the program hands the preview: the module holding its resources,
// their ids, and how the entry blocks it is given are released.
struct PreviewSetup {
    HINSTANCE instance;   // holds the resources below; registers the window class
    UINT buttonStrip;     // bitmap: the prev, next and write buttons, 130 x 20
    UINT title;           // string: the window's caption
    UINT scaledTitle;     // string: the caption of a scaled picture, with "%d"
                          // for the scale in percent
    UINT frameFormat;     // string: the counter, with "%d" for the frame shown
                          // and "%d" for the frame count
    UINT actionFormat;    // string: an animation's counter, "%d" four times:
                          // action shown, actions, frame shown, frames
    UINT bmpFilter;       // strings: the save dialog's file types, each the
    UINT pngFilter;       // description, a NUL and the pattern; the GIF type
    UINT gifFilter;       // only for animations
    UINT saveFailed;      // string: the message of a failed bitmap save
    UINT exportFailed;    // string: the message of a failed PNG or GIF save
    UINT errorCaption;    // string: the caption of those messages' box
    UINT previousAction;  // strings: the tools' buttons and the palette
    UINT nextAction;      // list's first item, the sprite's own palette
    UINT play;
    UINT pause;
    UINT ownPalette;
    // strings: the notices, by PreviewNotice
    UINT unknownNotice;
    UINT damagedNotice;
    UINT unreadableNotice;
    UINT noSpriteNotice;
    UINT compiledLuaNotice;
    UINT needsPasswordNotice;
    UINT wrongPasswordNotice;
    UINT newerAct;  // string: after an animation's type name when its version
                    // is newer than those known, "%d" for major and minor
    // Releases an entry block handed to ShowPreview (preview_launch_win32.h)
    // once the preview is done with it.
    void (*releaseData)(void* data);
};

// Set by the program before the first preview; zero until then.
extern PreviewSetup g_previewSetup;

// The preview window, or null while there is none.
extern HWND g_previewWindow;

// Child controls of the preview window, by id.
#define PREVIEW_ID_PREVIOUS_ACTION 101  // button
#define PREVIEW_ID_NEXT_ACTION 102      // button
#define PREVIEW_ID_PLAY 103             // button: play, or pause while playing
#define PREVIEW_ID_PALETTES 104         // drop-down list of palettes
#define PREVIEW_ID_TEXT 105             // read-only multi-line edit
#define PREVIEW_ID_NOTICE 106           // static text

// Room the content wants when it is not a picture, in pixels.
#define PREVIEW_TEXT_VIEW_WIDTH 640
#define PREVIEW_TEXT_VIEW_HEIGHT 400
#define PREVIEW_NOTICE_WIDTH 360
#define PREVIEW_NOTICE_HEIGHT 40

// An animation's frame timer on the window.
#define PREVIEW_ANIMATION_TIMER 1

// ---------------------------------------------------------------------------
// The window (class "CASKWRIGHT", a tool window titled with the setup's
// caption).

// Creates the window, hidden, registering its class the first time; or, when
// it exists, shows it and has it repainted.
void ShowPreviewWindow(void);

// The entry the caption names, "name - caption" (copied; null or "": the
// caption alone). Shown from the next FitPreviewWindow on.
void SetPreviewName(const wchar_t* name);

// Makes the window's controls show a new current preview: zoom back to 1,
// the palette list filled from palettes (copied; the sprite's own palette
// selected), the text view or notice filled, and an animation playing.
// Does nothing while there is no window.
void PresentPreview(const PreviewPaletteFile* palettes, uint32_t count);

// Sizes the window to the current content (FitPreviewContent, on the work
// area of the screen it is on), places the controls, sets the caption
// (the scale of a scaled or zoomed picture) and shows the window without
// activating it, moved only as far as needed to keep it on that work area.
// Does nothing while there is no window.
void FitPreviewWindow(void);

LRESULT CALLBACK PreviewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws the button strip, the counter, the type name and the picture at
// its scale (skipping magenta pixels of bitmaps, targas, JPEGs and maps,
// the colour of its top-left pixel for a sprite's palette frames; pictures
// drawnWhole are drawn as they are). Returns 0.
LRESULT PaintPreview(HWND window);

// Asks for a file name and a type and saves the current picture there:
// bitmap, PNG (the current frame, with its transparency for sprites and
// animations) or, for an animation, the current action as an animated GIF.
// Never replaces a file. Does nothing without a picture; window owns the
// dialog and messages.
void SavePreview(HWND window);

// A global block holding a BITMAPINFOHEADER and right after it the pixel
// rows of bitmap, bottom row first, at the bitmap's own depth (24 bits for a
// bitmap of 8 bits or fewer, which would need a colour table). The caller
// frees it with GlobalFree. Null when the pixels cannot be read.
HGLOBAL BitmapToPackedDib(HBITMAP bitmap);

// Writes a bitmap file of the block at path, which must not exist yet,
// through a temporary file renamed into place. On failure shows the setup's
// save-failed message over owner and leaves no file of its own behind.
void WriteBmpFile(const wchar_t* path, HGLOBAL block, HWND owner);

#endif
