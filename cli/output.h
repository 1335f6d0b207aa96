// output.h -- what the command line prints: data on standard output
// (buffered, nothing else ever goes there), messages on standard error
// prefixed "caskw: ", and the one status line a progress bar redraws on a
// terminal, which messages clear before they print.
#ifndef CASKW_OUTPUT_H
#define CASKW_OUTPUT_H

#include <stddef.h>

#include <string>
#include <string_view>

namespace caskw {

// Data. Out buffers; OutFlush writes what is buffered and tells whether
// every write so far succeeded (a closed pipe, a full disk).
void Out(std::string_view text);
void OutBytes(const void* data, size_t size);
bool OutFlush();

// -q: Note prints nothing; complaints still do.
void SetQuiet(bool quiet);
bool Quiet();

// "caskw: text" on standard error: Complain for what went wrong, Note for
// what went well (summaries).
void Complain(std::string_view text);
void Note(std::string_view text);

// "1 entry", "2 entries": n with the word that fits it.
std::string Count(size_t n, const char* one, const char* many);

// The progress bar's line on standard error (a terminal): redrawn in place,
// cleared for a message and at the end.
void ShowStatusLine(std::string_view text);
void ClearStatusLine();

}  // namespace caskw

#endif
