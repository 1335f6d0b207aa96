// bench_common.cpp -- see bench_common.h.
#include "bench_common.h"

#include <stdio.h>
#include <string.h>

#include <chrono>

#ifndef _WIN32
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// A "Name:  N kB" line of /proc/self/status, in bytes; 0 where there is none.
size_t StatusKilobytes(const char* name) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    size_t kb = 0;
    size_t length = strlen(name);
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, name, length) == 0 && line[length] == ':') {
            sscanf(line + length + 1, "%zu", &kb);
            break;
        }
    }
    fclose(f);
    return kb * 1024;
}

}  // namespace

double BestSeconds(const std::function<void()>& work, int runs) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
    }
    return best;
}

namespace {
bool g_missed = false;

const char* Verdict(bool met) {
    if (!met) g_missed = true;
    return met ? "" : "   MISSED";
}
}  // namespace

void PrintBeside(const char* label, double measured, const char* baseline, double base,
                 double most) {
    double ratio = base > 0 ? measured / base : 0.0;
    char aim[48];
    if (most > 0)
        snprintf(aim, sizeof aim, "within %.2fx", most);
    else
        snprintf(aim, sizeof aim, "shown for scale");
    printf("%-48s %9.4f s   %s %9.4f s   ratio %5.2fx   (aim: %s)%s\n", label, measured, baseline,
           base, ratio, aim, Verdict(most <= 0 || ratio <= most));
    fflush(stdout);
}

void PrintFaster(const char* label, double measured, const char* slowerName, double slower,
                 double least) {
    double times = measured > 0 ? slower / measured : 0.0;
    printf("%-48s %9.4f s   %s %9.4f s   %5.1fx faster   (aim: at least %.0fx)%s\n", label,
           measured, slowerName, slower, times, least, Verdict(times >= least));
    fflush(stdout);
}

void PrintAim(const char* label, const char* figure, const char* aim, bool met) {
    printf("%-48s %s   (aim: %s)%s\n", label, figure, aim, Verdict(met));
    fflush(stdout);
}

int BenchExitCode() {
    return g_missed ? 1 : 0;
}

size_t ResidentBytes() {
    return StatusKilobytes("VmRSS");
}

// VmHWM, not getrusage: a process's maximum resident size also counts the
// process it was started from (Linux keeps it across exec), its peak does not.
size_t PeakResidentBytes() {
    size_t peak = StatusKilobytes("VmHWM");
#ifndef _WIN32
    if (peak == 0) {
        struct rusage usage;
        if (getrusage(RUSAGE_SELF, &usage) == 0) peak = static_cast<size_t>(usage.ru_maxrss) * 1024;
    }
#endif
    return peak;
}

bool ResetPeakResident() {
    FILE* f = fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    bool ok = fputs("5", f) >= 0;
    return fclose(f) == 0 && ok;
}

#ifndef _WIN32
bool RunSelf(const std::vector<std::string>& args, std::string* output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    bool spawned =
        posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output->clear();
    char chunk[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], chunk, sizeof chunk)) > 0) output->append(chunk, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    if (spawned && waitpid(child, &status, 0) != child) return false;
    return spawned && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif
