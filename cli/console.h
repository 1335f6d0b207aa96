// console.h -- the system services the command line needs beyond the engine
// and the standard library: standard streams and terminals, interrupts,
// paths in the engine's wide form, and committing a finished file with a
// flush and a rename. console_posix.cpp and console_win32.cpp implement them.
#ifndef CASKW_CONSOLE_H
#define CASKW_CONSOLE_H

#include <stddef.h>

#include <filesystem>
#include <string>

namespace caskw {

enum Stream { kStdout = 1, kStderr = 2 };

// Binary standard output (no newline translation) and whatever else the
// streams need before the first write.
void PrepareStreams();
bool IsTerminal(Stream stream);
// Columns of the terminal behind standard error; 80 when unknown.
int TerminalColumns();
// Writes all bytes; on a Windows console UTF-8 text is shown as such.
bool WriteStream(Stream stream, const char* data, size_t size);

// Ctrl+C (and SIGTERM) sets a flag instead of ending the process, so long
// work can stop cleanly and remove what it had not finished.
void CatchInterrupts();
bool Interrupted();

// Paths: from and to UTF-8, and the wide form the engine takes.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const std::filesystem::path& path);
std::wstring EnginePath(const std::filesystem::path& path);

// Makes a written file's bytes durable, then renames it over target (which
// may exist; a link there is replaced, never followed) and makes the rename
// durable. False with the system's reason in why.
bool CommitFile(const std::filesystem::path& written, const std::filesystem::path& target,
                std::string* why);

}  // namespace caskw

#endif
