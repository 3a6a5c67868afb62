// The check every fuzz target makes: a broken invariant aborts, so that
// libFuzzer keeps the input that broke it.
#ifndef AGETRIM_FUZZ_REQUIRE_H
#define AGETRIM_FUZZ_REQUIRE_H

#include <cstdio>
#include <cstdlib>

inline void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

#endif
