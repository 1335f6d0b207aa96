// background_open.h -- opening an archive on a thread of its own: the rows
// show as its directory is read, the window answers meanwhile, the status
// line counts with a Cancel (Esc) beside it, and a cancelled or failed open
// leaves the archive that was loaded before, listed as it was.
#ifndef CASKWRIGHT_UI_BACKGROUND_OPEN_H
#define CASKWRIGHT_UI_BACKGROUND_OPEN_H

#include <windows.h>

// Messages of the opening thread to the main dialog: the rows read so far
// (posted: wParam the records read, lParam those expected; sent with
// wParam 0 and a nonzero lParam just before a failed table is released),
// and the end (posted).
#define WM_OPEN_ROWS (WM_APP + 40)
#define WM_OPEN_DONE (WM_APP + 41)

// Starts opening path in place of the loaded archive; returns at once. Once
// it has opened, the status line shows done (copied; null: "Ready"). An
// open already running is cancelled first.
void StartOpen(HWND window, const wchar_t* path, const wchar_t* done = nullptr);

// Whether an open runs; commands other than Cancel and Exit wait for it.
bool OpenRunning();

// Asks the running open to stop; the archive loaded before comes back when
// the thread has let go (WM_OPEN_DONE).
void CancelOpen();

// Stops the running open and waits for its thread, for the program's end:
// nothing of it is left.
void StopOpenNow();

// The main dialog's answers to the two messages.
void OnOpenRows(HWND window, WPARAM filled, LPARAM rows);
void OnOpenDone(HWND window);

// Places the Cancel button at the right end of the status line's first part.
void PlaceOpenCancel(HWND window);

#endif
