// errors.cpp -- one sentence per engine error code.
#include "errors.h"

#include <grf.h>

#include <system_error>

namespace caskw {

namespace {

struct Sentence {
    uint32_t code;
    const char* text;
};

// Lower case: they follow "caskw: NAME: ".
constexpr Sentence kSentences[] = {
    {GRF_OK, "no error"},
    {GRF_ERROR_CANCELLED, "stopped before it was done"},
    {GRF_ERROR_NOT_FOUND, "not found, or the file could not be opened or created"},
    {GRF_ERROR_VERSION, "the archive's format version is not one Caskwright reads"},
    {GRF_ERROR_HANDLE, "no archive is open"},
    {GRF_ERROR_MEMORY, "not enough memory"},
    {GRF_ERROR_NOT_ARCHIVE, "not an archive, or its directory or stored bytes are out of reach"},
    {GRF_ERROR_NO_MORE, "no further entry matches"},
    {GRF_ERROR_SEEK, "the entry's stored bytes could not be reached"},
    {GRF_ERROR_WRITE,
     "writing the archive failed (disk full, or past the 4 GB the version allows)"},
    {GRF_ERROR_READ, "reading failed, or the entry's sizes reach beyond its bytes"},
    {GRF_ERROR_INFLATE, "the entry's data does not inflate to its recorded size"},
    {GRF_ERROR_UNSAFE_NAME,
     "the name would write outside the target folder or through a link, or Windows "
     "would change it or take it for a device, so it was refused"},
    {GRF_ERROR_OUTPUT,
     "the file could not be created or written in full (nothing partial is left)"},
    {GRF_ERROR_LOCAL_RECORDS, "the archive to merge holds local files that were never saved"},
    {GRF_ERROR_CHANGED, "the archive file changed on disk since it was opened"},
    {GRF_ERROR_METHOD,
     "the entry is stored in a way Caskwright does not read (other compression or encryption)"},
    {GRF_ERROR_DUPLICATE,
     "an earlier entry of the same name was already written; the first one stays"},
    {GRF_ERROR_NO_CLIENT, "no archive a client would read here, and no data folder"},
};

}  // namespace

std::string ErrorText(uint32_t code) {
    for (const Sentence& s : kSentences)
        if (s.code == code) return std::string(s.text) + " (code " + std::to_string(code) + ")";
    std::string system = std::system_category().message(static_cast<int>(code));
    return "the system could not read it: " + system + " (system code " + std::to_string(code) +
           ")";
}

}  // namespace caskw
