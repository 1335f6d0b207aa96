// failure_list.h -- what the commands that write many files share when some
// are not written: the reason of an engine code in words, and the whole
// list of names and reasons saved to a text file the user names.
#ifndef CASKWRIGHT_UI_FAILURE_LIST_H
#define CASKWRIGHT_UI_FAILURE_LIST_H

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

// The reason an engine code gives for a file not written, in words ("error
// code N" for a code without its own), into reason of size characters.
void ReasonOfCode(uint32_t code, wchar_t* reason, size_t size);

// Asks for a new text file (the dialog titled by string title) and writes
// lines into it, one a line (UTF-8; never over a file that is there). A
// failed write is said in a box captioned by string caption.
void SaveListFile(HWND window, UINT title, const std::vector<std::wstring>& lines, UINT caption);

#endif
