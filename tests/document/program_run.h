#pragma once
// Runs a program through the shell for tests that check a command-line tool from the outside:
// what it printed on standard output and its exit status.

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kestrova::testing {

struct ProgramRun {
    int status = -1;  // the exit status, or -1 when the program did not exit normally
    std::string out;
};

// `command` is a shell command line; redirect standard error in it as the test needs.
inline ProgramRun RunProgram(const std::string& command) {
    ProgramRun run;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace kestrova::testing
