// commands.h -- the commands of the main dialog's buttons. Each receives the
// main dialog as its window and runs to its end before the dialog handles
// any further input.
#ifndef CASKWRIGHT_UI_COMMANDS_H
#define CASKWRIGHT_UI_COMMANDS_H

#include <windows.h>

#include <stdint.h>

// Mode of CmdOpenArchive.
#define OPEN_APPEND 0  // Add Grf: merge into the loaded archive
#define OPEN_LOAD 1    // Open: load in place of the loaded archive

void CmdOpenArchive(HWND window, int mode);
// Loads the archive at path in place of the loaded one, as Open does once a
// file is chosen.
void CmdOpenPath(HWND window, const wchar_t* path);
void CmdRepack(HWND window);
// ask false: into the last extraction's folder when there is one.
void CmdExtractSelected(HWND window, bool ask = true);
// The selected rows' names, one a line, on the clipboard.
void CmdCopyNames(HWND window);
// The focused row's preview.
void CmdPreviewFocused(HWND window);
void CmdExtractAll(HWND window);
void CmdDeleteSelected(HWND window);
void CmdAddDirectory(HWND window);

// Save: writes the changes into the loaded archive's own file (an archive
// Add Dir made, which has no file yet, is written as Repack writes it).
// True when nothing is left unsaved.
bool CmdSave(HWND window);
// Whether the loaded archive's table differs from its file.
bool HasUnsavedChanges();
// Enables Save exactly when there is something to save.
void UpdateSaveButton(HWND window);
// Before changes would be lost: asks whether to save them (Yes, No,
// Cancel). True when the caller may go on (saved, or not wanted).
bool ConfirmUnsavedChanges(HWND window);
// The compression level the drop-down selects.
uint32_t SelectedLevel(HWND window);
// The boxes that say in words what a failed open (caption a string id:
// opening or adding), merge or repack of path left in code; a repack's
// existed says path was there before it started.
void ShowOpenFailure(HWND window, UINT caption, const wchar_t* path, uint32_t code);
void ShowMergeFailure(HWND window, const wchar_t* path, uint32_t code);
void ShowRepackFailure(HWND window, const wchar_t* path, uint32_t code, bool existed);

// Says that the archive file at path changed on disk since it was opened
// and, when the user agrees, opens it again in place of the loaded archive.
// path is copied first: it may belong to the archive that is closed.
void AskToOpenAgain(HWND window, const wchar_t* path);

#endif
