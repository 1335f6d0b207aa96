// test_support.cpp -- the helpers of test_support.h for Windows and POSIX.
#include "test_support.h"

#include <stdio.h>
#include <string.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
fs::path FromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
}  // namespace

std::wstring Widen(const std::string& utf8) {
    return FromUtf8(utf8).wstring();
}

std::string Narrow(const std::wstring& wide) {
    std::u8string u8 = fs::path(wide).u8string();
    return std::string(u8.begin(), u8.end());
}

std::wstring FixturePath(const std::string& relative) {
    std::string root = CASKWRIGHT_FIXTURES;
#ifdef _WIN32
    // Cross-built tests run under Wine, where the Linux root is drive Z:.
    if (!root.empty() && root[0] == '/') root = "Z:" + root;
#endif
    fs::path path = FromUtf8(root) / FromUtf8(relative);
    return path.make_preferred().wstring();
}

bool FixturesPresent() {
    std::error_code ignored;
    return fs::is_directory(FixturePath("grf"), ignored);
}

TempDir::TempDir() {
    static unsigned serial = 0;
    fs::path base = fs::temp_directory_path();
#ifdef _WIN32
    unsigned long pid = GetCurrentProcessId();
#else
    unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    for (;;) {
        fs::path candidate =
            base / ("caskwright-test-" + std::to_string(pid) + "-" + std::to_string(++serial));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path = candidate.wstring();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(fs::path(path), ignored);
}

std::wstring TempDir::Join(const std::wstring& relative) const {
    return (fs::path(path) / fs::path(LocalPath(relative))).wstring();
}

CurrentDirScope::CurrentDirScope(const std::wstring& dir) {
    previous = fs::current_path().wstring();
    fs::current_path(fs::path(dir));
}

CurrentDirScope::~CurrentDirScope() {
    std::error_code ignored;
    fs::current_path(fs::path(previous), ignored);
}

std::wstring LocalPath(const std::wstring& archiveName) {
    std::wstring path = archiveName;
#ifndef _WIN32
    for (wchar_t& c : path)
        if (c == L'\\') c = L'/';
#endif
    return path;
}

bool WriteFileBytes(const std::wstring& path, const Bytes& bytes) {
#ifdef _WIN32
    FILE* file = _wfopen(path.c_str(), L"wb");
#else
    FILE* file = fopen(Narrow(path).c_str(), "wb");
#endif
    if (!file) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

bool ReadFileBytes(const std::wstring& path, Bytes* bytes) {
#ifdef _WIN32
    FILE* file = _wfopen(path.c_str(), L"rb");
#else
    FILE* file = fopen(Narrow(path).c_str(), "rb");
#endif
    if (!file) return false;
    bytes->clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + n);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

bool FileExists(const std::wstring& path) {
    std::error_code ignored;
    return fs::exists(fs::path(path), ignored);
}

bool MakeDirectory(const std::wstring& path) {
    std::error_code ignored;
    fs::create_directories(fs::path(path), ignored);
    return fs::is_directory(fs::path(path), ignored);
}

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(size_t size, uint64_t seed) {
    Bytes out(size);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = static_cast<uint8_t>(x >> 24);
    }
    return out;
}
