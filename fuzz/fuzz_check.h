// The check of the fuzz targets: a broken invariant aborts with its text, which libFuzzer
// reports as a crash and keeps the input for.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                            \
    do {                                                                 \
        if (!(condition)) {                                              \
            std::fprintf(stderr, "fuzz check failed: %s\n", #condition); \
            std::abort();                                                \
        }                                                                \
    } while (0)
