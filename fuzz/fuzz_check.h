#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run like a crash, with its name in the log above the fuzzer's report.
inline void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
