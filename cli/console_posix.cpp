// console_posix.cpp -- the command line's system services on POSIX.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "console.h"
#include "names.h"

namespace caskw {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

bool SyncPath(const std::filesystem::path& path, int flags) {
    int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

}  // namespace

void PrepareStreams() {}

bool IsTerminal(Stream stream) {
    return isatty(stream) == 1;
}

int TerminalColumns() {
    struct winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

bool WriteStream(Stream stream, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(stream, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void CatchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return g_interrupted != 0;
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

std::string PathToUtf8(const std::filesystem::path& path) {
    return path.string();
}

std::wstring EnginePath(const std::filesystem::path& path) {
    std::wstring wide;
    // A name that is not UTF-8 cannot reach the engine: it would name
    // another file. An empty path opens nothing.
    if (!Utf8ToWide(path.native(), &wide)) wide.clear();
    return wide;
}

bool CommitFile(const std::filesystem::path& written, const std::filesystem::path& target,
                std::string* why) {
    if (!SyncPath(written, O_RDONLY)) {
        *why = strerror(errno);
        return false;
    }
    if (rename(written.c_str(), target.c_str()) != 0) {
        *why = strerror(errno);
        return false;
    }
    // The rename itself lives in the folder.
    std::filesystem::path folder = target.parent_path();
    SyncPath(folder.empty() ? std::filesystem::path(".") : folder, O_RDONLY | O_DIRECTORY);
    return true;
}

}  // namespace caskw
