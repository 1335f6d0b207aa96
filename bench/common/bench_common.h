// bench_common.h -- timing and printing for the benchmarks: each
// figure is the best of a few runs, printed beside the baseline it is
// compared with (the best bare work for the same job, named), their ratio
// and the aim; a missed aim says MISSED and fails the benchmark.
#ifndef CASKWRIGHT_BENCH_COMMON_H
#define CASKWRIGHT_BENCH_COMMON_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

// Seconds of the fastest of `runs` calls of work.
double BestSeconds(const std::function<void()>& work, int runs = 3);

// Prints a figure beside its baseline, named for what it is ("libdeflate
// alone, 1 thread"), with their ratio. most > 0 is the aim: a ratio past it
// prints MISSED and makes BenchExitCode nonzero; most = 0 shows the figure
// for scale only.
void PrintBeside(const char* label, double measured, const char* baseline, double base,
                 double most);

// An aim the other way round: how many times faster than `slower` the
// measured figure is, MISSED below least.
void PrintFaster(const char* label, double measured, const char* slowerName, double slower,
                 double least);

// Prints a line for an aim that is not a ratio (bytes per entry, say) and
// counts it MISSED when met is false.
void PrintAim(const char* label, const char* figure, const char* aim, bool met);

// main's result: 0 when every aim printed so far was met, 1 when one was
// MISSED (scripts/bench.sh then fails).
int BenchExitCode();

// Resident memory of the process now, and its peak since it started (or
// since ResetPeakResident), in bytes; 0 where unknown.
size_t ResidentBytes();
size_t PeakResidentBytes();
// Starts the peak over from what is resident now; false where the system
// cannot (then the peak stays the process's own).
bool ResetPeakResident();

#ifndef _WIN32
// Runs this program again with args (args[0] its name) and gives what it
// printed on standard output: for figures that nothing this process did
// before may disturb, such as a peak of memory. False when it could not
// run or did not end with 0.
bool RunSelf(const std::vector<std::string>& args, std::string* output);
#endif

#endif
