// main_dialog.h -- the program's start and its one main dialog (template
// 130): initialization, the command table, the tooltips and the About box.
#ifndef CASKWRIGHT_UI_MAIN_DIALOG_H
#define CASKWRIGHT_UI_MAIN_DIALOG_H

#include <windows.h>

#include <string>

// Starts the program on the calling thread: stores the module instance,
// prepares the common controls and COM, and runs the main dialog modally.
// commandLine (may be null) is the program's whole command line: its first
// argument after the program's name is an archive to open. Returns the
// dialog's end result (0), or -1 when it cannot be created.
int RunCaskwright(HINSTANCE instance, const wchar_t* commandLine = nullptr);

// The archive a command line names (its first argument after the
// program's), or "" when it names none.
std::wstring ArchiveOnCommandLine(const wchar_t* commandLine);

// Dialog procedure of template 130. Returns FALSE for every message but the
// list's search for a typed row number, which is answered with its result.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the command of one control of the main dialog; ignored while a
// command or a preview runs (its boxes let queued clicks through).
void OnMainCommand(HWND window, UINT command);

// Enables the buttons that act on the loaded archive exactly when one is
// loaded.
void UpdateArchiveButtons(HWND window);

// Creates the tooltip window of the main dialog and registers its 14 tools.
void CreateToolTips(HWND window);

#endif
