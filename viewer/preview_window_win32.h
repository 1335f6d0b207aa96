// preview_window_win32.h -- the preview window: a tool window showing the
// current preview (preview_bitmap_win32.h) under a strip of prev, next and
// write buttons, with the frame counter and the type name. Windows only
// (library caskwright_preview_window).
//
// Its caption, texts and button strip are the program's resources, named in
// g_previewSetup before the first preview. Everything runs on the
// user-interface thread; the window's messages come through the program's
// message loop.
#ifndef CASKWRIGHT_PREVIEW_WINDOW_WIN32_H
#define CASKWRIGHT_PREVIEW_WINDOW_WIN32_H

#include <windows.h>

// What the program hands the preview: the module holding its resources,
// their ids, and how the entry blocks it is given are released.
struct PreviewSetup {
    HINSTANCE instance;  // holds the resources below; registers the window class
    UINT buttonStrip;    // bitmap: the prev, next and write buttons, 130 x 20
    UINT title;          // string: the window's caption
    UINT frameFormat;    // string: the counter, with "%d" for the frame shown
                         // and "%d" for the frame count
    UINT bmpFilter;      // string: the save dialog's filter, the description,
                         // a NUL and the pattern
    UINT saveFailed;     // string: the message of a failed save
    UINT errorCaption;   // string: the caption of that message's box
    // Releases an entry block handed to ShowEntryPreview
    // (preview_launch_win32.h) once the preview is done with it.
    void (*releaseData)(void* data);
};

// Set by the program before the first preview; zero until then.
extern PreviewSetup g_previewSetup;

// The preview window, or null while there is none.
extern HWND g_previewWindow;

// ---------------------------------------------------------------------------
// The window (class "CASKWRIGHT", a tool window titled with the setup's
// caption).

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
// failure shows the setup's save-failed message over owner and leaves no
// file of its own behind.
void WriteBmpFile(const wchar_t* path, HGLOBAL block, HWND owner);

#endif
