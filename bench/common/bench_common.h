// bench_common.h -- timing and printing for the benchmarks: each
// figure is the best of a few runs, printed beside the bare work it is
// compared with and their ratio.
#ifndef CASKWRIGHT_BENCH_COMMON_H
#define CASKWRIGHT_BENCH_COMMON_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

// Seconds of the fastest of `runs` calls of work.
double BestSeconds(const std::function<void()>& work, int runs = 3);

// Prints "label: measured s (bare s, ratio x; aim: ...)".
void PrintBeside(const char* label, double measured, double bare, const char* aim);

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
