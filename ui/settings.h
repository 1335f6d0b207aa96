// settings.h -- what the program remembers between starts, under
// HKCU\Software\Caskwright: the main window's place, size and column widths,
// and the folders last used to open, extract, add and save.
#ifndef CASKWRIGHT_UI_SETTINGS_H
#define CASKWRIGHT_UI_SETTINGS_H

#include <windows.h>

#include <string>
#include <vector>

// The key under HKEY_CURRENT_USER; tests point it elsewhere.
extern const wchar_t* g_settingsKey;

// Names of the remembered folders.
#define FOLDER_OPEN L"OpenFolder"
#define FOLDER_EXTRACT L"ExtractFolder"
#define FOLDER_ADD L"AddFolder"
#define FOLDER_SAVE L"SaveFolder"

// Reads the folder remembered under name into path (size characters); ""
// when there is none or it does not fit.
void ReadFolderSetting(const wchar_t* name, wchar_t* path, DWORD size);

// Remembers folder under name. A file's path may be given: with isFile its
// folder is kept.
void WriteFolderSetting(const wchar_t* name, const wchar_t* path, bool isFile);

// Whether the folder tree is shown (0 or 1).
#define FOLDER_TREE_SETTING L"FolderTree"

// A remembered number (a switch: 0 or 1), or fallback when none is.
int ReadNumberSetting(const wchar_t* name, int fallback);
void WriteNumberSetting(const wchar_t* name, int value);

// The archives opened last, the latest first (RECENT_MOST at most).
#define RECENT_MOST 8
std::vector<std::wstring> ReadRecentArchives();
void WriteRecentArchives(const std::vector<std::wstring>& paths);

// The main window's remembered place (in screen coordinates, as
// GetWindowPlacement gives it), whether it was maximised, and the widths of
// the list's columns (0 for one not remembered). False when nothing was.
struct WindowSettings {
    RECT frame;
    bool maximized;
    int columns[6];
};
bool ReadWindowSettings(WindowSettings* settings);
void WriteWindowSettings(const WindowSettings& settings);

#endif
