#pragma once
// Running the Windows installer under Wine for tests: one Wine prefix in the build folder (made
// once by the test fixture that ctest runs first, or here when a test runs alone), programs run
// with their exit status and standard error, and programs left running in the background until
// the test ends them.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/document/asset_file_builder.h"
#include "tests/document/program_run.h"

namespace kestrova::testing {

// The environment every Wine run gets: the build's own prefix, no debug output, no prompts for
// the optional .NET and HTML engines, and a UTF-8 locale, in which Wine reads the names of Linux
// files and the command line as UTF-8 (in the C locale it cannot spell names outside ASCII).
inline std::string WineEnvironment(const std::string& prefix) {
    return "WINEPREFIX='" + prefix +
           "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LC_ALL=C.UTF-8 ";
}

// Makes the prefix when it is not there yet (the first boot takes a while).
inline bool EnsureWinePrefix(const std::string& wine, const std::string& prefix) {
    if (std::filesystem::exists(prefix + "/system.reg")) {
        return true;
    }
    ProgramRun run = RunProgram("env -u DISPLAY " + WineEnvironment(prefix) + "'" + wine +
                                "' wineboot --init 2>&1");
    return run.status == 0 && std::filesystem::exists(prefix + "/system.reg");
}

struct WineRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a Windows program to its end, without a display; its standard error is kept.
inline WineRun RunUnderWine(const std::string& wine, const std::string& prefix,
                            const std::string& arguments, const std::string& errorFile) {
    ProgramRun run = RunProgram("env -u DISPLAY " + WineEnvironment(prefix) + "'" + wine + "' " +
                                arguments + " 2>'" + errorFile + "'");
    Bytes err = ReadBytes(errorFile);
    return {run.status, std::move(run.out), std::string(err.begin(), err.end())};
}

// A Windows path for a Linux one, through Wine's drive Z:, which is the root folder.
inline std::string WinePath(const std::string& path) {
    std::string out = "Z:" + std::filesystem::absolute(path).string();
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

// A program started in the background and ended (and waited for) when this goes.
class BackgroundProgram {
public:
    // `environment` holds NAME=VALUE entries added to this process's environment for the child.
    // `keepOpen` is a descriptor the child inherits (for example a pipe it writes to).
    bool Start(const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment = {}, int keepOpen = -1) {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (const std::string& entry : environment) {
                ::putenv(const_cast<char*>(entry.c_str()));
            }
            int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            for (int fd = 3; fd < 256; ++fd) {
                if (fd != keepOpen) {
                    ::close(fd);
                }
            }
            std::vector<char*> argv;
            for (const std::string& a : arguments) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        return pid_ > 0;
    }
    ~BackgroundProgram() { Stop(); }

    void Stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            ::usleep(100 * 1000);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

}  // namespace kestrova::testing
