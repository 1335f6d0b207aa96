// program_posix.cpp -- child processes with fork and exec.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program.h"
#include "test_support.h"

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[65536];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(fd);
    return text;
}

int TempFile() {
    char name[] = "/tmp/caskw-test-XXXXXX";
    int fd = mkstemp(name);
    unlink(name);
    return fd;
}

}  // namespace

std::string CaskwPath() {
    return CASKW_PROGRAM;
}

Outcome Caskw(const std::vector<std::string>& args, const std::string& in) {
    std::vector<char*> argv;
    std::string program = CASKW_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string& folder = in;
    int out = TempFile(), err = TempFile();
    Outcome run;
    pid_t child = fork();
    if (child == 0) {
        if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.code = WEXITSTATUS(status);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
}

Outcome Shell(const std::string& command) {
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
