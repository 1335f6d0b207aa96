// main_layout.h -- the main dialog at any size: the list (and the folder
// tree) grow with the window, the buttons and drop-downs keep their places
// along the bottom edge; the size, place and column widths are remembered.
#ifndef CASKWRIGHT_UI_MAIN_LAYOUT_H
#define CASKWRIGHT_UI_MAIN_LAYOUT_H

#include <windows.h>

// Notes every control's place at the template's size (after the dialog has
// added its own controls), then gives the window its remembered place, size
// and column widths. Returns whether it was maximised when it was last
// closed: the caller maximises it once it shows (the dialog's own showing
// would make it normal-size again).
bool SetUpMainLayout(HWND window);

// WM_SIZE: places the controls for the new client size.
void LayOutMain(HWND window);

// WM_GETMINMAXINFO: never smaller than the template's size.
void LimitMainSize(MINMAXINFO* limits);

// Remembers the window's place, size and column widths (when it ends).
void RememberMainLayout(HWND window);

// The list's left edge moves to left (client pixels) to make room for the
// folder tree, or back to its own place with 0.
void SetListLeft(HWND window, int left);

#endif
