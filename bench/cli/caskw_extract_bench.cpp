// caskw_extract_bench -- `caskw extract -j1` of a 20,000-entry archive of
// mixed sizes (about 475 MB of content), the whole program run as a child
// process, beside the engine's own extraction of the same records in this
// process on one thread too (one extraction run, record by record: what
// caskw asks of the engine). Each run writes into a folder of its own. Aim:
// within 1.1 times.
#include <grf.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_archives.h"
#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

constexpr uint32_t kEntries = 20000;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void EngineExtract(GrfArchive* archive) {
    GrfExtractRun* run = GrfBeginExtractRun();
    for (uint32_t i = 0; i < archive->count; ++i) {
        if (GrfExtractInRun(run, archive, i) != GRF_OK) {
            fprintf(stderr, "extract failed: code %u\n", GrfLastError);
            exit(1);
        }
    }
    GrfEndExtractRun(run);
}

void CaskwExtract(const std::string& archive, const std::string& folder) {
    std::string program = CASKW_PROGRAM;
    std::vector<std::string> args = {program, "-q", "extract", "-j1", archive, "-C", folder};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "caskw extract failed\n");
        exit(1);
    }
}

}  // namespace

int main() {
    TempDir dir;
    std::wstring path = dir.Join(L"mixed.grf");
    uint64_t total = WriteMixedArchive(path, kEntries);
    GrfArchive* archive = GrfOpen(path.c_str(), nullptr);
    if (archive == GRF_NO_ARCHIVE) return 1;
    printf("%u entries, %.0f MB of content\n", kEntries, total / 1e6);

    // Sides alternate, each run in a fresh folder, nothing deleted until the
    // end: the file system allocates slowly for a while after deletions.
    double bare = 1e300, measured = 1e300;
    for (int run = 0; run < 2; ++run) {
        for (int side = 0; side < 2; ++side) {
            bool program = (run + side) % 2 == 1;
            std::wstring out = dir.Join(L"out" + std::to_wstring(run * 2 + side));
            MakeDirectory(out);
            // Each side starts with what the one before wrote on the disk,
            // not still in memory waiting to be written.
            sync();
            auto start = std::chrono::steady_clock::now();
            if (program) {
                CaskwExtract(Narrow(path), Narrow(out));
            } else {
                CurrentDirScope here(out);
                EngineExtract(archive);
            }
            double took = Seconds(start);
            double& best = program ? measured : bare;
            if (took < best) best = took;
        }
    }
    PrintBeside("caskw extract -j1 (whole program)", measured,
                "the engine's extraction run, 1 thread", bare, 1.1);
    GrfClose(&archive);
    return BenchExitCode();
}
