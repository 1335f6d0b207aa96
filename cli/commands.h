// commands.h -- the subcommands, one file per group, and what they share:
// exit codes, choosing entries by pattern, reading numbers from options.
#ifndef CASKW_COMMANDS_H
#define CASKW_COMMANDS_H

#include <grf.h>
#include <stdint.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>
#include <vector>

namespace caskw {

// Exit codes: everything done; some entries failed (each named on
// standard error); the command could not run (usage, or an archive that
// does not open).
constexpr int kExitDone = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

// Each group adds its subcommands to app; a subcommand that runs stores its
// exit code in *exitCode.
void AddReadCommands(CLI::App* app, int* exitCode);    // info, list, cat, verify
void AddExtractCommand(CLI::App* app, int* exitCode);  // extract
void AddWriteCommands(CLI::App* app, int* exitCode);   // pack, add, rm, merge, repack
void AddDiffCommand(CLI::App* app, int* exitCode);     // diff
void AddPatchCommands(CLI::App* app, int* exitCode);   // patch make, apply, verify

// Writes the table (records not marked deleted; removal records as
// removals) as a new patch file out, with a progress bar. False with the
// reason in why.
bool WritePatch(GrfArchive* table, const std::filesystem::path& out, uint8_t mergeMode,
                const std::string& target, bool integrity, std::string* why);

// What --help says about PATTERN, for the commands that take patterns.
extern const char kPatternHelp[];

// Complains and returns kExitUsage.
int CannotRun(const std::string& why);

// The records of the table that any of the patterns match (every record
// when there are none), in table order. Each pattern that matches nothing is
// complained about and counted in *unmatched. False (after a complaint)
// when a pattern is not valid UTF-8.
bool SelectEntries(GrfArchive* archive, const std::vector<std::string>& patterns,
                   std::vector<uint32_t>* indices, int* unmatched);

// "0x200", "200", "0x103"... (always hexadecimal); false when malformed.
bool ParseVersion(const std::string& text, uint32_t* version);
// Adds --version V and --level L to a writing command; CheckOutputOptions
// hands them to the engine, or complains and returns false.
struct OutputOptions {
    std::string version;  // empty: the command's default
    uint32_t level = 0;   // 0: the engine's default
};
void AddOutputOptions(CLI::App* command, OutputOptions* options, const char* versionDefault);
bool CheckOutputOptions(const OutputOptions& options, uint32_t defaultVersion);

}  // namespace caskw

#endif
