// xorshift32: a tiny generator that gives the same numbers on every machine, so generated
// samples, benchmark images and test data are the same everywhere.
#pragma once

#include <cstdint>

struct Xorshift32 {
  std::uint32_t state;  // never 0
  std::uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  std::uint32_t below(std::uint32_t n) { return next() % n; }
};
