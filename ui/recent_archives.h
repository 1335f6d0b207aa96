// recent_archives.h -- the archives opened last, offered on the Open
// button's drop-down arrow (a split button) and remembered between starts.
#ifndef CASKWRIGHT_UI_RECENT_ARCHIVES_H
#define CASKWRIGHT_UI_RECENT_ARCHIVES_H

#include <windows.h>

#include "resource.h"

// Gives the Open button its drop-down arrow.
void MakeOpenSplitButton(HWND window);

// Puts path first in the list (once; without regard to case).
void RememberRecentArchive(const wchar_t* path);

// The drop-down of the Open button (BCN_DROPDOWN): the recent archives as a
// menu below the button, then Password... and Apply Patch to Folder...; the
// chosen one's command is returned (0 for none).
UINT ShowRecentMenu(HWND window);

// Opens recent archive command (IDM_RECENT_FIRST + i); one that is no longer
// there is taken off the list, and a box says so.
void CmdOpenRecent(HWND window, UINT command);

#endif
