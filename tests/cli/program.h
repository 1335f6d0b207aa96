// program.h -- running the built caskw as a child process, the way scripts
// do, with its standard output and standard error captured.
#ifndef CASKW_TEST_PROGRAM_H
#define CASKW_TEST_PROGRAM_H

#include <string>
#include <vector>

struct Outcome {
    int code = -1;    // exit code; -1 when it did not start or end normally
    std::string out;  // standard output, bytes as written
    std::string err;  // standard error
};

// Runs caskw with args in the folder `in` (both UTF-8) (empty: this process's).
Outcome Caskw(const std::vector<std::string>& args, const std::string& in = "");

// Runs a shell command line and returns its exit code and standard output
// (POSIX only: pipes between programs).
Outcome Shell(const std::string& command);

// The caskw program's path as a shell word.
std::string CaskwPath();

#endif
