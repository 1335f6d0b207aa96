// add_directory.h -- Add Dir: every file below a chosen folder joins the
// loaded archive as a local-file entry named "data" + its path relative to
// the folder; the files are read only when the archive is repacked.
#ifndef CASKWRIGHT_UI_ADD_DIRECTORY_H
#define CASKWRIGHT_UI_ADD_DIRECTORY_H

#include <windows.h>

#include <string>
#include <vector>

#include "progress.h"

// The folder of the last successful Add Dir, as the browser gave it. Every
// path the walk visits starts with it, and it is cut off to form the names.
extern wchar_t g_addRoot[PATH_SIZE];

// The one result buffer of AskDirectory.
extern wchar_t g_folderPath[PATH_SIZE];

// Shows the folder browser over owner; returns g_folderPath holding the
// chosen folder, or null when the user cancelled.
wchar_t* AskDirectory(HWND owner);

// Adds every file below folder to g_archive, depth first, in the order the
// file system lists them. Files and folders whose paths or names do not fit,
// or whose names do not convert to code page 949 exactly, are left out and
// remembered for the one report CmdAddDirectory shows after the walk.
void AddDirectoryTree(const wchar_t* folder);

// Adds files and folders dropped on the window (whole paths), as Add Dir
// adds a folder's files, creating an archive when none is loaded. base is
// the archive folder they go to ("data\\" or the folder the tree has
// chosen), ending in a backslash: a file goes to base + its name, a folder
// keeps its name below base (a folder named data dropped onto data\\ gives
// its contents, as Add Dir of it does). What is left out is reported in one
// box; the list is filled again.
void CmdAddDropped(HWND window, const std::vector<std::wstring>& paths, const wchar_t* base);

#endif
