// test_support.h -- small helpers for the suites and benchmarks: where the
// shared sample files are, temporary folders, whole-file reads and writes,
// and text conversions for names.
#ifndef CASKWRIGHT_TEST_SUPPORT_H
#define CASKWRIGHT_TEST_SUPPORT_H

#include <stdint.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Path of a file under the shared fixtures folder, in the platform's form.
std::wstring FixturePath(const std::string& relative);
bool FixturesPresent();
// Skips the current test with a clear message when the fixtures are absent.
#define SKIP_WITHOUT_FIXTURES()                                                      \
    do {                                                                             \
        if (!FixturesPresent())                                                      \
            GTEST_SKIP() << "needs the sample files (CASKWRIGHT_FIXTURES): not run"; \
    } while (0)

// A fresh folder under the system's temporary folder, removed with all it
// holds when the value goes out of scope.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::wstring path;
    // path joined with a relative name using the platform's separator.
    std::wstring Join(const std::wstring& relative) const;
};

// Makes dir the current directory until the value goes out of scope.
struct CurrentDirScope {
    explicit CurrentDirScope(const std::wstring& dir);
    ~CurrentDirScope();
    CurrentDirScope(const CurrentDirScope&) = delete;
    CurrentDirScope& operator=(const CurrentDirScope&) = delete;
    std::wstring previous;
};

bool WriteFileBytes(const std::wstring& path, const Bytes& bytes);

// A file of size bytes that holds each piece's bytes at its offset and holes
// (zeros that take no disk space) elsewhere, for archives past 4 GB. False,
// with the reason in why, when this system or file system makes no sparse
// files (tests skip then).
struct FilePiece {
    uint64_t at;
    Bytes bytes;
};
bool WriteSparseFile(const std::wstring& path, uint64_t size, const std::vector<FilePiece>& pieces,
                     std::string* why);
bool ReadFileBytes(const std::wstring& path, Bytes* bytes);
bool FileExists(const std::wstring& path);
bool MakeDirectory(const std::wstring& path);
// Archive-style relative name (backslashes) as a path on this platform.
std::wstring LocalPath(const std::wstring& archiveName);

// Everything under dir, links not followed: sorted relative paths with "/"
// between components, "/" after a folder's name, "@" after a link's, and
// " N" after a file's size.
std::vector<std::string> ListTree(const std::wstring& dir);
// A symbolic link at link to target (a relative path with "/"); false when
// this system or account cannot make one. Under Wine, whose own call makes
// none, the system's ln makes it.
bool MakeSymbolicLink(const std::wstring& link, const std::string& target, bool folder);
bool MakeHardLink(const std::wstring& link, const std::wstring& existing);
// True when the system reports path itself as a link or reparse point.
bool IsReportedAsLink(const std::wstring& path);

// ASCII or UTF-8 text to wide, and back (for messages).
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

Bytes BytesOf(const std::string& text);
// Deterministic pseudo-random bytes (xorshift) for content and blocks.
Bytes RandomBytes(size_t size, uint64_t seed);

#endif
