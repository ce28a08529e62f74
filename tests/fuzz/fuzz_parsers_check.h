// Invariant checks for the parser fuzzers: a broken invariant is a crash libFuzzer keeps.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      abort();                                                                      \
    }                                                                               \
  } while (0)
