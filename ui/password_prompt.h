// password_prompt.h -- passwords of keyed entries in the window: asked once
// an archive holding such entries has opened (remembered for the session by
// the archive's path, never written anywhere), the password Save and Repack
// key what they write with, and the list's mark of keyed entries.
#ifndef CASKWRIGHT_UI_PASSWORD_PROMPT_H
#define CASKWRIGHT_UI_PASSWORD_PROMPT_H

#include <windows.h>

#include <commctrl.h>

#include <atomic>

#include "grf.h"

// Looks for keyed records in archive, which the calling thread has just
// opened and nothing else uses yet: among the first records that may be
// keyed (editors key whole archives; a read each). found gets whether one
// is and the table index of the first. stop is looked at between records;
// true when it stopped the search.
struct KeyedFind {
    bool keyed;
    uint32_t first;
};
bool FindKeyedRecord(GrfArchive* archive, const std::atomic<bool>* stop, KeyedFind* found);

// g_archive has just been loaded from path, with found's keyed records:
// sets the keys carried to path (CarryKeysTo) or remembered for it when they
// open its records, and otherwise posts IDM_ASK_PASSWORD to window.
void OnArchiveKeyed(HWND window, const wchar_t* path, const KeyedFind& found);

// A read of g_archive's record failed for want of a password: when the
// open found no keyed record among those it looked at (so nothing was
// asked), asks now, once, by posting IDM_ASK_PASSWORD to window.
void OfferPasswordFor(HWND window, uint32_t record);

// IDM_ASK_PASSWORD: asks for the password of g_archive's keyed records until
// one opens them or the user goes on without.
void CmdAskPassword(HWND window);

// IDM_WRITE_PASSWORD: asks for the password Save and Repack key the records
// they write with (typed twice), or clears it.
void CmdWritePassword(HWND window);
// Whether g_archive has a password for what is written.
bool HasWritePassword();

// A repack of g_archive is about to open path in its place: the keys that
// read what it wrote there (the write password, else the read one) and the
// write password go with it.
void CarryKeysTo(const wchar_t* path);

// After the list has filled a cell (LVN_GETDISPINFOW): the cycle column of
// a keyed record says so in words.
void MarkKeyedCell(NMLVDISPINFOW* info);

#endif
