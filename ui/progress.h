// progress.h -- what the long commands share: the modeless progress window
// (template 138) with its callbacks, and the open and save file dialog.
#ifndef CASKWRIGHT_UI_PROGRESS_H
#define CASKWRIGHT_UI_PROGRESS_H

#include <windows.h>

#include "grf.h"

#define PATH_SIZE 260

// The progress window while a command shows it; null when there is none or
// the user has cancelled it.
extern HWND g_progressWindow;

// The last path AskFileName gave; kept when a dialog is cancelled.
extern wchar_t g_fileName[PATH_SIZE];

// Dialog procedure of template 138: Cancel hides the window and forgets it.
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the progress window owned by the main dialog, with caption when it
// is not null, disables the main dialog and returns the window. The command
// keeps the handle: Cancel forgets g_progressWindow but only hides the
// window.
HWND CreateProgressWindow(const wchar_t* caption);

// Enables the main dialog again, takes down a window CreateProgressWindow
// made and forgets it.
void CloseProgressWindow(HWND window);

// Progress callback of repack, save and extraction: shows the entry's name
// (when there is one) and the
// bar at index of total, lets the window handle one queued message (a
// repaint, a click on Cancel), and returns 1 once the window is gone, else 0.
int32_t ShowEntryProgress(GrfEntry* entry, uint32_t index, uint32_t total);

// Progress callback of opening: "Opening: index/total" on the status line,
// for every record of a small archive and for a few hundred evenly spread
// records of a large one. Never asks to stop.
int32_t ShowOpenProgress(GrfEntry* entry, uint32_t index, uint32_t total);

// Shows the open dialog (save zero) or the save dialog (save nonzero) with
// the caption title, over owner, with a NUL-separated filter list, and
// returns g_fileName holding the chosen path, or null when the user
// cancelled (g_fileName then keeps the previous path).
wchar_t* AskFileName(const wchar_t* title, HWND owner, const wchar_t* filter, int save);

#endif
