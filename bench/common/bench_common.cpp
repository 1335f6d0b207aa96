// bench_common.cpp -- see bench_common.h.
#include "bench_common.h"

#include <stdio.h>
#include <string.h>

#include <chrono>

#ifndef _WIN32
#include <sys/resource.h>
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

void PrintBeside(const char* label, double measured, double bare, const char* aim) {
    printf("%-44s %9.4f s   bare %9.4f s   ratio %5.2fx   (aim: %s)\n", label, measured, bare,
           bare > 0 ? measured / bare : 0.0, aim);
    fflush(stdout);
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
