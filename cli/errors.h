// errors.h -- the engine's error codes in words, for messages people read.
#ifndef CASKW_ERRORS_H
#define CASKW_ERRORS_H

#include <stdint.h>

#include <filesystem>
#include <string>

namespace caskw {

// The sentence for an engine code, with the number after it:
// "the entry's data does not inflate to its recorded size (code 31)".
// Codes outside the engine's table are the system's (a failed read of an
// archive's header or directory) and are described by the system.
std::string ErrorText(uint32_t code);

// ErrorText for an entry's extraction into root: for a refused name
// (GRF_ERROR_UNSAFE_NAME), the one reason that applied to name (an archive
// name) and what to do instead of the list of every reason.
std::string EntryErrorText(uint32_t code, const char* name, const std::filesystem::path& root);

}  // namespace caskw

#endif
