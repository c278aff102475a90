#pragma once
// Stops a fuzz run on a broken invariant, naming it and its line.

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                     \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "invariant broken at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (false)
