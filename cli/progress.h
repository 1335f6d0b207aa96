// progress.h -- a progress bar for long work: how far, how fast and how
// long still to go, on standard error, drawn only when standard error is a
// terminal and -q is not given, redrawn at most ten times a second.
#ifndef CASKW_PROGRESS_H
#define CASKW_PROGRESS_H

#include <grf.h>
#include <stdint.h>

#include <string_view>

namespace caskw {

// Starts a bar for `items` steps holding `bytes` bytes in all (0 when the
// bytes are not known: the rate is then in items).
void ProgressBegin(std::string_view verb, uint64_t items, uint64_t bytes);
// Records that `items` steps holding `bytes` bytes are done so far.
void ProgressUpdate(uint64_t items, uint64_t bytes);
void ProgressEnd();

// The engine's progress callback over the current bar: each call counts the
// records before it as done, with their stored bytes. Answers nonzero (stop)
// once the user pressed Ctrl+C.
int32_t EngineProgress(GrfEntry* entry, uint32_t index, uint32_t total);

}  // namespace caskw

#endif
