// caskw_list_bench -- `caskw list` of a 500,000-entry 0x200 archive (names in
// the shapes real archives have, most with Korean components), the whole
// program run as a child process with its output going to /dev/null, beside
// the bare work of GrfOpen and GrfClose of the same file in this process.
// Aim: within 1.5 times.
#include <fcntl.h>
#include <grf.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "bench_common.h"
#include "grf_builder.h"
#include "test_support.h"

namespace {

constexpr uint32_t kEntries = 500000;

std::vector<RawRecord> MakeRecords(uint32_t count) {
    static const char* const kFolders[] = {"data\\texture\\", "data\\sprite\\", "data\\model\\",
                                           "data\\wav\\", "data\\palette\\"};
    static const char* const kKorean[] = {
        "\xC0\xAF\xC0\xFA\xC0\xCE\xC5\xCD\xC6\xE4\xC0\xCC\xBD\xBA",  // user interface
        "\xB8\xF3\xBD\xBA\xC5\xCD",                                  // monster
        "\xC0\xCC\xC6\xE5\xC6\xAE",                                  // effect
        "\xB9\xE8\xB0\xE6",                                          // background
        "\xBE\xC6\xC0\xCC\xC5\xDB",                                  // item
    };
    static const char* const kExtensions[] = {".bmp", ".spr", ".act", ".gat", ".wav"};
    std::vector<RawRecord> records(count);
    uint64_t x = 88172645463325252ull;
    for (uint32_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::string name = kFolders[x % 5];
        name += kKorean[(x >> 8) % 5];
        name += '\\';
        name += kKorean[(x >> 16) % 5];
        name += '_';
        name += std::to_string(i);
        name += kExtensions[(x >> 24) % 5];
        records[i].name = name;
        records[i].compressedSize = 1000 + i % 5000;
        records[i].alignedSize = GrfAlign8(records[i].compressedSize);
        records[i].realSize = 4000;
        records[i].offset = i * 8;
    }
    return records;
}

// Runs program with args, its standard output to /dev/null; exits on
// failure.
void RunProgram(std::string program, std::vector<std::string> args) {
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int status = 0;
    bool ran = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) == 0 &&
               waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!ran) {
        fprintf(stderr, "%s %s failed\n", program.c_str(), args[0].c_str());
        exit(1);
    }
}

void RunCaskw(std::vector<std::string> args) {
    RunProgram(CASKW_PROGRAM, std::move(args));
}

void OpenAndClose(const std::wstring& path) {
    GrfArchive* opened = GrfOpen(path.c_str(), nullptr);
    if (opened == GRF_NO_ARCHIVE || opened->count != kEntries) exit(1);
    GrfClose(&opened);
}

}  // namespace

// usage: caskw_list_bench [folder]   (the archive stays there, for profiling)
//        caskw_list_bench --open-alone ARCHIVE   (the bare work in a fresh process)
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--open-alone") {
        OpenAndClose(Widen(argv[2]));
        return 0;
    }
    TempDir temp;
    std::wstring path = (argc > 1 ? Widen(argv[1]) : temp.path) + L"/list.grf";
    std::vector<RawRecord> records = MakeRecords(kEntries);
    Bytes archive = BuildHeader(0, 0, kEntries + 7, 0x200);
    Bytes directory = BuildV2Directory(BuildV2Table(records), 1);
    archive.insert(archive.end(), directory.begin(), directory.end());
    WriteFileBytes(path, archive);
    std::string utf8 = Narrow(path);

    // A fresh process faults in all the table's memory; a loop in one
    // process reuses what the previous open freed. Both are shown; the
    // program is a fresh process, so the first is its bare work.
    double fresh = BestSeconds([&] { RunProgram("/proc/self/exe", {"--open-alone", utf8}); }, 5);
    double warm = BestSeconds([&] { OpenAndClose(path); }, 5);
    double list = BestSeconds([&] { RunCaskw({"list", utf8}); }, 5);
    double longList = BestSeconds([&] { RunCaskw({"list", "--long", utf8}); });
    double pattern = BestSeconds([&] { RunCaskw({"list", utf8, "data/sprite/**/*.spr"}); });
    printf("%u entries, names mostly Korean; output to /dev/null\n", kEntries);
    const char* freshOpen = "GrfOpen in a fresh process";
    PrintBeside("caskw list", list, freshOpen, fresh, 1.5);
    PrintBeside("caskw list", list, "GrfOpen in this process", warm, 0);
    PrintBeside("caskw list --long", longList, freshOpen, fresh, 0);
    PrintBeside("caskw list with a ** pattern", pattern, freshOpen, fresh, 0);
    return BenchExitCode();
}
