// services.h -- what every window of the program shares: the module
// instance, the main dialog with its status bar, the loaded archive and the
// view of it that the list and the folder tree show, the string loader, the
// error box, the title and the status line.
#ifndef CASKWRIGHT_UI_SERVICES_H
#define CASKWRIGHT_UI_SERVICES_H

#include <windows.h>

#include "entry_view.h"
#include "grf.h"

// Room of every formatted message and title, and of the string loader.
#define TEXT_BUFFER_SIZE 2048

extern HINSTANCE g_instance;     // passed to every resource load and window creation
extern HWND g_mainWindow;        // the main dialog, set first in its initialization
extern HWND g_statusBar;         // the status bar along the main dialog's bottom
extern int32_t g_statusUpdates;  // status updates since the last forced repaint
extern GrfArchive* g_archive;    // the loaded archive, or GRF_NO_ARCHIVE
extern EntryView g_entryView;    // the rows of g_archive that the list shows
extern wchar_t g_stringBuffer[TEXT_BUFFER_SIZE];  // result of LoadResString

// Loads string id into g_stringBuffer and returns it. An inner NUL is kept and
// the text is followed by zeros, so the filter strings end in a double NUL.
// The next load overwrites it: use or copy the text first.
wchar_t* LoadResString(UINT id);

// Formats a printf-style message (%s a wide string, %d a signed integer) into
// buffer of size characters, always terminated; a message too long is cut.
void FormatText(wchar_t* buffer, size_t size, const wchar_t* format, ...);

// Shows the formatted message in a modal error box over owner, captioned
// "Unrecoverable Error". The format may be g_stringBuffer itself.
void ShowError(HWND owner, const wchar_t* format, ...);

// Shows the formatted message in a modal box over owner with the caption of
// string id caption and the error icon: a failure the user can act on.
void ShowProblem(HWND owner, UINT caption, const wchar_t* format, ...);

// The main window's caption becomes "Caskwright - <text>".
void SetMainTitle(const wchar_t* text);

// Shows text on the status line. Every 17th update, counted across all
// callers, repaints the main window at once, so long loops that handle no
// messages still show their progress now and then.
void SetStatusText(const wchar_t* text);

#endif
