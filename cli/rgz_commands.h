// rgz_commands.h -- what the patch commands take from RGZ's own file:
// telling an RGZ, making one, applying one into a folder, and the convert
// command.
#ifndef CASKW_RGZ_COMMANDS_H
#define CASKW_RGZ_COMMANDS_H

#include <grf.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>

namespace caskw {

// Whether a path names an RGZ to write (it ends in .rgz, any case).
bool IsRgzPath(const std::string& path);
// Whether an opened patch is an RGZ.
bool IsRgz(const GrfArchive* archive);

// Writes table as a new RGZ at out with a progress bar; false with the
// reason in why.
bool WriteRgz(GrfArchive* table, const std::filesystem::path& out, std::string* why);

// patch make DIR -o X.rgz: the folder's files (after prefix) as an RGZ.
int MakeRgz(const std::string& folder, const std::string& prefix, const std::string& out);

// patch apply X.rgz DIR: the patch's files written into the folder as a
// whole where the file system allows; on failure says which files are in
// place and which are not.
int ApplyRgz(GrfArchive* patch, const std::string& patchText, const std::string& folder);

// patch convert IN -o OUT.
void AddConvertCommand(CLI::App* patch, int* exitCode);

}  // namespace caskw

#endif
