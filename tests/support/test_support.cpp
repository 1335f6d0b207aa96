// test_support.cpp -- the helpers of test_support.h for Windows and POSIX.
#include "test_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
fs::path FromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
}  // namespace

#ifdef _WIN32

std::wstring Widen(const std::string& utf8) {
    return FromUtf8(utf8).wstring();
}

std::string Narrow(const std::wstring& wide) {
    std::u8string u8 = fs::path(wide).u8string();
    return std::string(u8.begin(), u8.end());
}

namespace {
fs::path ToPath(const std::wstring& path) {
    return fs::path(path);
}
}  // namespace

#else

// wchar_t is UTF-32 here; the C++ library would convert through the C
// locale, which knows only ASCII.
std::wstring Widen(const std::string& utf8) {
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = static_cast<uint8_t>(utf8[i]);
        int more = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        c &= more ? 0x3Fu >> more : 0x7Fu;
        for (int k = 1; k <= more && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3Fu);
        out.push_back(static_cast<wchar_t>(c));
        i += static_cast<size_t>(more) + 1;
    }
    return out;
}

std::string Narrow(const std::wstring& wide) {
    std::string out;
    for (wchar_t w : wide) {
        uint32_t c = static_cast<uint32_t>(w);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {
fs::path ToPath(const std::wstring& path) {
    return fs::path(Narrow(path));
}
}  // namespace

#endif

std::wstring FixturePath(const std::string& relative) {
    // The environment names another folder for one run.
    const char* chosen = getenv("CASKWRIGHT_FIXTURES");
    std::string root = chosen && *chosen ? chosen : CASKWRIGHT_FIXTURES;
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
            std::u8string u8 = candidate.u8string();
            path = Widen(std::string(u8.begin(), u8.end()));
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(ToPath(path), ignored);
}

std::wstring TempDir::Join(const std::wstring& relative) const {
    std::u8string u8 = (ToPath(path) / ToPath(LocalPath(relative))).u8string();
    return Widen(std::string(u8.begin(), u8.end()));
}

CurrentDirScope::CurrentDirScope(const std::wstring& dir) {
    std::u8string u8 = fs::current_path().u8string();
    previous = Widen(std::string(u8.begin(), u8.end()));
    fs::current_path(ToPath(dir));
}

CurrentDirScope::~CurrentDirScope() {
    std::error_code ignored;
    fs::current_path(ToPath(previous), ignored);
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

#ifdef _WIN32

bool WriteSparseFile(const std::wstring& path, uint64_t size, const std::vector<FilePiece>& pieces,
                     std::string* why) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = "the file cannot be created";
        return false;
    }
    DWORD returned = 0;
    bool ok = DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (!ok) *why = "the file system makes no sparse files";
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    ok = ok && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    for (size_t i = 0; ok && i < pieces.size(); ++i) {
        at.QuadPart = static_cast<LONGLONG>(pieces[i].at);
        DWORD done = 0;
        DWORD length = static_cast<DWORD>(pieces[i].bytes.size());
        ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
             WriteFile(file, pieces[i].bytes.data(), length, &done, nullptr) && done == length;
    }
    if (!ok && why->empty()) *why = "writing the sparse file failed";
    CloseHandle(file);
    if (!ok) DeleteFileW(path.c_str());
    return ok;
}

#else

bool WriteSparseFile(const std::wstring& path, uint64_t size, const std::vector<FilePiece>& pieces,
                     std::string* why) {
    std::string name = Narrow(path);
    // A small probe first: a file system without holes would write every
    // zero of the large file.
    std::string probe = name + ".probe";
    int fd = open(probe.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0666);
    struct stat st;
    bool sparse = fd >= 0 && ftruncate(fd, 64 << 20) == 0 && fstat(fd, &st) == 0 &&
                  st.st_blocks * 512 < (1 << 20);
    if (fd >= 0) close(fd);
    unlink(probe.c_str());
    if (!sparse) {
        *why = "the file system makes no sparse files";
        return false;
    }
    fd = open(name.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0666);
    bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (size_t i = 0; ok && i < pieces.size(); ++i) {
        const Bytes& bytes = pieces[i].bytes;
        ok = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(pieces[i].at)) ==
             static_cast<ssize_t>(bytes.size());
    }
    if (fd >= 0 && close(fd) != 0) ok = false;
    if (!ok) {
        *why = "writing the sparse file failed";
        unlink(name.c_str());
    }
    return ok;
}

#endif

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
    return fs::exists(ToPath(path), ignored);
}

bool MakeDirectory(const std::wstring& path) {
    std::error_code ignored;
    fs::create_directories(ToPath(path), ignored);
    return fs::is_directory(ToPath(path), ignored);
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

std::vector<std::string> ListTree(const std::wstring& dir) {
    std::vector<std::string> out;
    std::error_code error;
    fs::recursive_directory_iterator it(ToPath(dir), error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::directory_entry& entry = *it;
        std::u8string relative = entry.path().lexically_relative(ToPath(dir)).generic_u8string();
        std::string name(relative.begin(), relative.end());
        std::u8string full = entry.path().u8string();
        std::error_code ignored;
        if (entry.is_symlink(ignored) ||
            IsReportedAsLink(Widen(std::string(full.begin(), full.end())))) {
            out.push_back(name + "@");
            it.disable_recursion_pending();
        } else if (entry.is_directory(ignored)) {
            out.push_back(name + "/");
        } else {
            out.push_back(name + " " + std::to_string(entry.file_size(ignored)));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool MakeHardLink(const std::wstring& link, const std::wstring& existing) {
    std::error_code error;
    fs::create_hard_link(ToPath(existing), ToPath(link), error);
    return !error;
}

#ifdef _WIN32

bool IsReportedAsLink(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

namespace {

// Wine's path of a Windows path, through the call Wine's kernel32 adds.
std::string WineUnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unix = toUnix(path.c_str());
    if (!unix) return {};
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Makes the link with the system's ln. Wine hands out no usable handle of
// a process of the system underneath, so a marker file the same shell
// writes after ln says when it is done.
bool RunWineLn(const std::string& target, const std::string& unixLink, const std::wstring& marker,
               const std::string& unixMarker) {
    std::wstring command = L"Z:\\bin\\sh -c \"ln -s " + Widen(target) + L" " + Widen(unixLink) +
                           L" && : > " + Widen(unixMarker) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int wait = 0; wait < 200; ++wait) {
        if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES)
            return DeleteFileW(marker.c_str()) != FALSE;
        Sleep(50);
    }
    return false;
}

}  // namespace

bool MakeSymbolicLink(const std::wstring& link, const std::string& target, bool folder) {
    std::wstring windowsTarget = Widen(target);
    std::replace(windowsTarget.begin(), windowsTarget.end(), L'/', L'\\');
    DWORD flags =
        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    if (CreateSymbolicLinkW(link.c_str(), windowsTarget.c_str(), flags) && IsReportedAsLink(link))
        return true;
    // Wine's call reports success and makes nothing; a link has to come
    // from the system underneath, made in the folder Wine maps the path to.
    fs::path parent = fs::path(link).parent_path();
    std::string unixParent = WineUnixPath(parent.wstring());
    if (unixParent.empty()) return false;
    std::u8string leaf = fs::path(link).filename().u8string();
    std::wstring marker = parent.wstring() + L"\\.ln-done";
    return RunWineLn(target, unixParent + "/" + std::string(leaf.begin(), leaf.end()), marker,
                     unixParent + "/.ln-done");
}

#else

bool IsReportedAsLink(const std::wstring& path) {
    struct stat st;
    return lstat(Narrow(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool MakeSymbolicLink(const std::wstring& link, const std::string& target, bool) {
    return symlink(target.c_str(), Narrow(link).c_str()) == 0;
}

#endif
