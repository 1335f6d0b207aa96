// password.h -- the keys of keyed entries, from the options every command
// takes: --password TEXT, --password-file FILE or --key-file FILE (256 key
// bytes) to read them (and to key what is written), and --new-password,
// --new-password-file or --new-key-file to key what is written with
// another key.
#ifndef CASKW_PASSWORD_H
#define CASKW_PASSWORD_H

#include <grf.h>

#include <CLI/CLI.hpp>
#include <string>

namespace caskw {

// Adds the options to the program (they may follow the command).
void AddKeyOptions(CLI::App* app);

// Sets the key the options give on an opened archive, for reading. True
// when none is given; false with the reason in why when a file does not
// read, a key file is not 256 bytes or a password not 4 to 256 bytes.
bool ApplyReadKey(GrfArchive* archive, std::string* why);

// Sets the key the next write of archive keys its entries with: the new
// key when one is given, else the reading key. True when none is given;
// false with the reason in why as ApplyReadKey.
bool ApplyWriteKey(GrfArchive* archive, std::string* why);

}  // namespace caskw

#endif
