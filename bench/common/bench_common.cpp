// bench_common.cpp -- see bench_common.h.
#include "bench_common.h"

#include <stdio.h>

#include <chrono>

#ifndef _WIN32
#include <sys/resource.h>
#endif

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

size_t PeakResidentBytes() {
#ifdef _WIN32
    return 0;
#else
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
#endif
}
