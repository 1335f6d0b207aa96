// errors.cpp -- one sentence per engine error code.
#include "errors.h"

#include <grf.h>

#include <algorithm>
#include <system_error>
#include <vector>

namespace caskw {

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

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
    {GRF_ERROR_ACCESS,
     "access denied: the file is read-only or in use by another program; make it "
     "writable or close that program, then try again"},
    {GRF_ERROR_OPEN_ARCHIVE, "is an archive open in this program; it is not replaced"},
    {GRF_ERROR_NOT_IN_PLACE,
     "the file has bytes after its directory that a change in place would turn into "
     "entries; give -o OUT to write it anew"},
    {GRF_ERROR_IN_USE, "in use by another program; try again when it has finished"},
    {GRF_ERROR_PASSWORD, "the password does not open this entry"},
    {GRF_ERROR_NEEDS_PASSWORD, "encrypted: needs a password"},
    {GRF_ERROR_PASSWORD_LENGTH, "a password takes 4 to 256 bytes"},
    {GRF_ERROR_NO_CLIENT, "no archive a client would read here, and no data folder"},
};

}  // namespace

std::string EntryErrorText(uint32_t code, const char* name, const std::filesystem::path& root) {
    if (code != GRF_ERROR_UNSAFE_NAME) return ErrorText(code);
    wchar_t* wide = GrfFileName(name);
    std::wstring file = wide ? wide : L"";
    GrfFreeBuffer(wide);
    std::vector<std::wstring> parts;
    for (size_t at = 0;;) {
        size_t end = file.find_first_of(L"\\/", at);
        parts.push_back(file.substr(at, end == std::wstring::npos ? end : end - at));
        if (end == std::wstring::npos) break;
        at = end + 1;
    }
    bool outside = file.empty() || parts[0].empty() || (file.size() > 1 && file[1] == L':');
    for (const std::wstring& part : parts) {
        bool dotsOnly = part.find_first_not_of(L". ") == std::wstring::npos;
        outside = outside || (dotsOnly && std::count(part.begin(), part.end(), L'.') >= 2);
    }
    // Beyond leaving the folder, POSIX refuses only links; Windows refuses
    // names it would change as well, told apart by looking for a link.
    const char* link = "the name passes through a link, which extraction never follows";
    const char* reason = link;
    if (outside) {
        reason = "the name would write outside the target folder";
    } else if (kWindows) {
        reason =
            "Windows would change the name or take it for a device (a reserved name such as "
            "CON or COM1, a trailing dot or space, a colon)";
        std::filesystem::path at = root;
        std::error_code error;
        for (const std::wstring& part : parts) {
            at /= std::filesystem::path(part);
            if (std::filesystem::is_symlink(at, error)) reason = link;
        }
    }
    return std::string(reason) +
           ", so it was refused; 'caskw cat' writes its content to a file of your choosing (code " +
           std::to_string(code) + ")";
}

std::string ErrorText(uint32_t code) {
    for (const Sentence& s : kSentences)
        if (s.code == code) return std::string(s.text) + " (code " + std::to_string(code) + ")";
    std::string system = std::system_category().message(static_cast<int>(code));
    return "the system could not read it: " + system + " (system code " + std::to_string(code) +
           ")";
}

}  // namespace caskw
