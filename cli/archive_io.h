// archive_io.h -- the command line's use of the engine in one place:
// opening with the reason in words, reading one record's content,
// extracting many records, and writing a table either to a new file or back
// over its own archive. Each is one function, so that a better engine call
// replaces it here and nowhere else.
#ifndef CASKW_ARCHIVE_IO_H
#define CASKW_ARCHIVE_IO_H

#include <grf.h>
#include <stdint.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace caskw {

// An archive from GrfOpen or GrfCreate, closed when the value goes.
struct ArchiveCloser {
    void operator()(GrfArchive* archive) const;
};
using Archive = std::unique_ptr<GrfArchive, ArchiveCloser>;

// Opens the archive at path (made absolute first, so a later change of
// folder does not lose it). Null, with "PATH: reason" in why, when it does
// not open.
Archive OpenArchive(const std::filesystem::path& path, std::string* why);
// Holds the archive at path for a change in place (GrfLockArchive) until
// the value goes, so that what is read and what is written over it are one
// change no other program comes between. False, with "PATH: reason" in why,
// when another program holds it. A file that does not open for writing is
// held by nothing: opening or saving it then says why in their words.
struct LockReleaser {
    void operator()(GrfLock* lock) const { GrfUnlockArchive(lock); }
};
using ArchiveLock = std::unique_ptr<GrfLock, LockReleaser>;
bool LockArchive(const std::filesystem::path& path, ArchiveLock* lock, std::string* why);
// An empty table for a file that is to be written at path.
Archive CreateArchive(const std::filesystem::path& path, std::string* why);

// The version field of an archive's header (0 for a created one).
uint32_t ArchiveVersion(const GrfArchive* archive);
// Sets the version and level later writes use; false when the engine does
// not write that version or level.
bool SetOutputVersion(uint32_t version);
bool SetOutputLevel(uint32_t level);

// An engine buffer, released with GrfFreeBuffer.
struct EngineFree {
    void operator()(void* block) const { GrfFreeBuffer(block); }
};
using Content = std::unique_ptr<uint8_t, EngineFree>;

// Reads and inflates record index of the table (from its owner's file).
// Returns GRF_OK with the content and its size, or the engine's code.
uint32_t ReadRecord(GrfArchive* archive, uint32_t index, Content* content, uint32_t* size);

// Reads the records in order, opening each owner's file once for them all,
// and hands each to `each` with its code and, with GRF_OK, its content
// (valid only during the call). `each` returns false to stop.
using RecordHandler =
    std::function<bool(uint32_t index, const uint8_t* content, uint32_t size, uint32_t code)>;
void ReadRecords(GrfArchive* archive, const std::vector<uint32_t>& indices,
                 const RecordHandler& each);

// Extracts the records into the current folder, each at the relative path
// its name gives, with `threads` workers (0: one per core). Stores each
// record's code in results (GRF_OK when written) and stops early, leaving
// GRF_ERROR_CANCELLED for the rest, when interrupted.
void ExtractRecords(GrfArchive* archive, const std::vector<uint32_t>& indices, uint32_t threads,
                    std::vector<uint32_t>* results);

// The file a record extracts to, relative to the target folder.
std::filesystem::path RecordFilePath(const GrfEntry& entry);

// Writes the table (records not marked deleted) to target in the version
// set by SetOutputVersion: under a temporary name beside it, flushed, then
// renamed over target, so target is either as it was or complete. False
// with the reason in why.
bool WriteArchive(GrfArchive* archive, const std::filesystem::path& target, std::string* why);

// Writes the table's changes into the archive's own file (path) in place,
// keeping its version: only new records and a new directory are written.
// False with the reason in why; the file is then as it was.
bool SaveArchive(GrfArchive* archive, const std::filesystem::path& path, std::string* why);

// A name beside target for a file that does not exist yet, distinct in
// each call: ".NAME.caskw-" eight hexadecimal digits ".SUFFIX", as the
// engine names its own temporary files.
std::filesystem::path ScratchPath(const std::filesystem::path& target, const char* suffix);

}  // namespace caskw

#endif
