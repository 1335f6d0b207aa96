// caskw_mount_bench -- every file of a 20,000-entry archive of mixed sizes
// (about 475 MB of content) read through `caskw mount` (open, read in
// 128 KB blocks, close: what cat does), from the mount's start to the last
// byte, beside `caskw extract -j1` of the same archive into a RAM disk
// (/dev/shm), both whole programs on one thread. Aim: within 1.5 times.
// Says NOT RUN where the machine allows no FUSE mount.
#include <dirent.h>
#include <fcntl.h>
#include <grf.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_archives.h"
#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kEntries = 20000;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

pid_t Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, args[0].c_str(), nullptr, nullptr, argv.data(), environ) != 0) return 0;
    return child;
}

bool Finished(pid_t child) {
    int status = 0;
    return child && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Reads every file under folder as cat would; the bytes read.
uint64_t ReadTree(const std::string& folder) {
    static char block[131072];
    uint64_t bytes = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (!item.is_regular_file()) continue;
        int fd = open(item.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return 0;
        for (ssize_t got; (got = read(fd, block, sizeof block)) > 0;)
            bytes += static_cast<uint64_t>(got);
        close(fd);
    }
    return bytes;
}

}  // namespace

int main() {
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
        printf("NOT RUN: this machine allows no FUSE mount (root and /dev/fuse needed)\n");
        return 0;
    }
    TempDir dir;
    std::wstring path = dir.Join(L"mixed.grf");
    uint64_t total = WriteMixedArchive(path, kEntries);
    printf("%u entries, %.0f MB of content\n", kEntries, total / 1e6);
    std::string program = CASKW_PROGRAM, archive = Narrow(path);
    std::string ram = "/dev/shm/caskw-mount-bench-" + std::to_string(getpid());
    std::string point = Narrow(dir.Join(L"mnt"));
    fs::create_directories(point);

    double extract = 1e300, mounted = 1e300;
    for (int run = 0; run < 2; ++run) {
        fs::remove_all(ram);
        fs::create_directories(ram);
        auto start = std::chrono::steady_clock::now();
        if (!Finished(Spawn({program, "-q", "extract", "-j1", archive, "-C", ram}))) {
            fprintf(stderr, "caskw extract failed\n");
            return 1;
        }
        extract = std::min(extract, Seconds(start));
        fs::remove_all(ram);

        start = std::chrono::steady_clock::now();
        pid_t mount = Spawn({program, "-q", "mount", archive, point});
        bool up = false;
        for (int i = 0; i < 20000 && mount && !up; ++i) {
            std::error_code error;
            up = fs::exists(point + "/data", error);
            if (!up) usleep(1000);
        }
        uint64_t read = up ? ReadTree(point) : 0;
        double took = Seconds(start);
        Finished(Spawn({program, "-q", "unmount", point}));
        if (mount) Finished(mount);
        if (read != total) {
            fprintf(stderr, "read %llu bytes through the mount, not %llu\n",
                    static_cast<unsigned long long>(read), static_cast<unsigned long long>(total));
            return 1;
        }
        mounted = std::min(mounted, took);
    }
    PrintBeside("every file read through caskw mount", mounted, "caskw extract -j1 into a RAM disk",
                extract, 1.5);
    return BenchExitCode();
}
