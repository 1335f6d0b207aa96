// local_files.h -- files from disk on their way into an archive: finding
// them and naming them (pack, add), and adding them to a table as records
// whose bytes are read when the table is written.
#ifndef CASKW_LOCAL_FILES_H
#define CASKW_LOCAL_FILES_H

#include <grf.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive_io.h"

namespace caskw {

struct LocalFile {
    std::string name;              // archive name: code page 949, backslashes
    std::filesystem::path source;  // the file on disk
};

// The files under folder (recursively; links to folders are not followed),
// each named by its path relative to folder with backslashes, after
// `prefix\` when prefix is not empty; skipping `exclude` (the output).
// Files that cannot be named or read are complained about and counted in
// *failed. Sorted by name.
void CollectFolder(const std::filesystem::path& folder, const std::string& prefix,
                   const std::filesystem::path& exclude, std::vector<LocalFile>* files,
                   int* failed);

// The files named on the command line for add: a file by its path as
// given (relative, inside the current folder) or, with `as`, by
// `as\its file name`; a folder's files by the folder's name or `as`,
// followed by their path inside it. Sorted by name; a name that two paths
// give is a failure of the second.
void CollectPaths(const std::vector<std::string>& paths, const std::string* as,
                  const std::filesystem::path& exclude, std::vector<LocalFile>* files, int* failed);

// Adds the files to archive's table as local-file records, each read from
// its own file when the table is written (in the version and level set for
// output). Same names already in the table are replaced. False with the
// reason in why: the table may then hold some of the files.
bool AddLocalFiles(GrfArchive* archive, const std::vector<LocalFile>& files, std::string* why);

}  // namespace caskw

#endif
