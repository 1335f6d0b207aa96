// folder_browser.h -- the shell's folder browser, as Add Dir and the
// extraction commands ask for a folder.
#ifndef CASKWRIGHT_UI_FOLDER_BROWSER_H
#define CASKWRIGHT_UI_FOLDER_BROWSER_H

#include <windows.h>

// How the browser is offered (FOLDER_*).
#define FOLDER_TO_READ 0   // an existing folder only
#define FOLDER_TO_WRITE 1  // with a button that makes a new folder

// Shows the folder browser over owner with the text of string id title,
// starting at start unless it is null or empty. On OK stores the chosen
// folder in chosen (PATH_SIZE characters) and returns true; returns false,
// leaving chosen as it was, when the user cancels or picks no file-system
// folder.
bool AskFolder(HWND owner, UINT title, int kind, const wchar_t* start, wchar_t* chosen);

#endif
