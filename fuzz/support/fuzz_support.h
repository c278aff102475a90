#pragma once
// What the fuzz targets that write files share: one private folder for the whole run, and the
// check that stops the run on a broken invariant.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace kestrova::fuzz {

// One folder for the whole run, in memory where the system offers it (/dev/shm), so that the
// files written per input cost no disk writes; removed at exit. The path is never destroyed, so
// the exit handler can still use it.
inline const std::string& Root() {
    static const std::string* root = [] {
        std::error_code error;
        const std::filesystem::path memory = "/dev/shm";
        const std::filesystem::path base =
            std::filesystem::is_directory(memory, error) && ::access(memory.c_str(), W_OK) == 0
                ? memory
                : std::filesystem::temp_directory_path();
        std::string pattern = (base / "kestrova-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return new std::string(pattern);
    }();
    static const bool cleanup = (std::atexit([] { std::filesystem::remove_all(*root); }), true);
    (void)cleanup;
    return *root;
}

}  // namespace kestrova::fuzz

// Stops the run on a broken invariant, naming it.
#define CHECK(condition)                                                                     \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (false)
