#pragma once
// What the benchmark programs measure with: wall time, the peak resident memory of a piece of
// work run in a child process, and the time of another program run on the same data.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace kestrova::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A line of /proc/self/status in MiB ("VmRSS", "VmHWM").
inline double StatusMiB(const char* field) {
    double kib = 0;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        std::size_t length = std::strlen(field);
        while (std::fgets(line, sizeof line, f) != nullptr) {
            if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
                kib = std::atof(line + length + 1);
            }
        }
        std::fclose(f);
    }
    return kib / 1024.0;
}

// Runs `work` in a child process and returns its time and its peak resident memory beyond what
// it started with (or since it last called ResetPeak), reported through a pipe.
struct Measured {
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

// Starts the peak memory count again from what the process holds now (a forked child inherits
// its parent's peak); returns that resident size.
inline double& PeakStartMiB() {
    static double start = 0;
    return start;
}
inline void ResetPeak() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    PeakStartMiB() = StatusMiB("VmRSS");
}

inline Measured InChild(const std::function<bool(double&)>& work) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        ResetPeak();
        double figures[2] = {0, 0};
        bool ok = work(figures[0]);
        figures[1] = StatusMiB("VmHWM") - PeakStartMiB();
        ssize_t ignored = ::write(fds[1], figures, sizeof figures);
        (void)ignored;
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    Measured m;
    double figures[2] = {-1, -1};
    if (::read(fds[0], figures, sizeof figures) != sizeof figures) {
        figures[0] = figures[1] = -1;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    m.seconds = figures[0];
    m.peakMiB = figures[1];
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

// The time of a program run with `arguments` (found through PATH), with its standard output sent
// to `output` when that is not empty; -1 when it cannot be started or fails.
inline double ToolTime(const std::vector<std::string>& arguments, const std::string& output = {}) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        ::posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double t = Seconds(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? t : -1;
}

// A new private folder under the system's temporary folder; empty when none can be made.
inline std::string MakeBenchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrova-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

// True when a program of that name is found through PATH.
inline bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace kestrova::bench
