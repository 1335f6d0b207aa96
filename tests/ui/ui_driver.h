// ui_driver.h -- drives the real program inside the test process: the main
// dialog runs on a thread of its own exactly as the program's entry runs it,
// and the test thread acts as the user (clicks, keys, the system menu) and
// answers the modal boxes and choosers that come up, reading back what a
// user would see.
#ifndef CASKWRIGHT_UI_DRIVER_H
#define CASKWRIGHT_UI_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The program running on its own thread.
struct Program {
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    HWND dialog = nullptr;
};

// Starts the program with commandLine (the whole line, program name first;
// "": none) and waits for its main dialog. False on failure.
bool StartProgram(Program* program, const std::wstring& commandLine = L"");
// Answers whatever is still open, unloads the archive, ends the dialog and
// waits for the thread.
void StopProgram(Program* program);

HWND Control(const Program& program, int id);
std::wstring WindowText(HWND window);
std::wstring StatusText(const Program& program);
// The status line's second part: the list's counts.
std::wstring CountsText(const Program& program);
std::wstring ComboSelection(const Program& program, int id);
// The items of a combo box, in order.
std::vector<std::wstring> ComboItems(HWND combo);

// Runs code on the program's thread, between two of its messages, and waits
// for it (RunOnUiThread) or not (PostToUiThread).
void RunOnUiThread(const Program& program, const std::function<void()>& code);
void PostToUiThread(const Program& program, std::function<void()> code);
// The program's loaded archive (g_archive), read on its own thread.
struct GrfArchive* LoadedArchive(const Program& program);

// Presses a button of the main dialog; returns at once.
void Click(const Program& program, int id);
// Gives control id the keyboard focus as Tab would, then types text into it.
void FocusControl(const Program& program, int id);
void TypeText(const Program& program, const std::wstring& text);
// A key press (down and up) sent to the focused control.
void PressKey(const Program& program, UINT virtualKey);

// Waits until the program has handled what it was given, also when that
// opened a box or left the viewer open (a box's own loop handles it too).
void Settle(const Program& program);

// Waits until the program has handled everything it was given and shows no
// window but the main dialog. Returns "" then, or a description of the
// window that is in the way (or of the time-out).
std::wstring WaitIdle(const Program& program, DWORD timeoutMs = 60000);

// A window of the program other than the main dialog: a message box, a
// file or folder chooser, the progress window.
struct Box {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;  // the texts of its static controls, joined by "|"
};

// The captions of the program's error boxes, joined by "|".
#define ERROR_CAPTIONS                                                                      \
    L"Unrecoverable Error|Repack Failed|Cannot Open Archive|Cannot Add Archive|Some Files " \
    L"Not Extracted|Cannot Extract|Some Files Left Out|Cannot Save|Patch Not Applied"

// A top-level window of the program of that class other than the main
// dialog, or null.
HWND ProgramWindow(const Program& program, const wchar_t* className, bool visibleOnly = true);

// Opens a popup menu of the program with open (run on the test's thread),
// picks the item of mnemonic key (0: closes the menu) and returns the items'
// texts; none when no menu came.
std::vector<std::wstring> PickFromMenu(const Program& program, const std::function<void()>& open,
                                       wchar_t key);

// Waits for a box whose caption is caption, or one of several joined by "|"
// (any box when empty).
bool WaitForBox(const Program& program, Box* box, const std::wstring& caption = L"",
                DWORD timeoutMs = 20000);
// Presses button id of a box and waits for the box to go away.
bool PressBoxButton(const Box& box, int id);
// Waits for an error box, returns its text ("" when none came) and closes it.
std::wstring TakeError(const Program& program, DWORD timeoutMs = 20000);

// Answers a file dialog titled title with path (or cancels it when path is
// empty). False when no such dialog came.
bool ChooseFile(const Program& program, const std::wstring& title, const std::wstring& path);
// Types path into a file dialog's name box and presses OK, without waiting
// for the dialog to go (it may refuse the name).
bool TypeFileName(const Box& box, const std::wstring& path);
// Types path into a file dialog's name box, and nothing else.
bool SetFileNameText(const Box& box, const std::wstring& path);
// The file types a file dialog offers, as its type list shows them.
std::vector<std::wstring> FileTypes(const Box& box);
// Picks the file type at index (from 0) in a file dialog's type list, as a
// user's choice there does. False when the dialog has no such type.
bool ChooseFileType(const Box& box, int index);
// Answers the folder browser with path (or cancels it when path is empty).
bool ChooseFolder(const Program& program, const std::wstring& path, std::wstring* shownText);
// The name of the folder a folder browser shows selected ("" for none).
std::wstring BrowserSelection(const Box& browser);

// The entry list as a user reads it.
int RowCount(const Program& program);
std::vector<std::wstring> RowTexts(const Program& program, int row);
int RowImage(const Program& program, int row);
void SelectRows(const Program& program, const std::vector<int>& rows);

// Saves a picture of window as <build>/screenshots/<name>.png; returns its
// path, or "" when the capture failed.
std::wstring SaveScreenshot(HWND window, const std::wstring& name);

// A path of the machine the tests were built on, as the program sees it
// under Wine (/srv/x is Z:\srv\x) or on Windows (unchanged).
std::wstring WindowsPath(const std::string& path);

// Polls condition every 10 ms until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

#endif
