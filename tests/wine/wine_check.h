// A tiny check harness for the Windows test programs run under Wine: each CHECK prints what
// was expected and what came back on failure; main returns non-zero when any failed.
#pragma once

#include <stdio.h>

static int g_checksPassed = 0;
static int g_checksFailed = 0;

#define CHECK(cond, ...)                                              \
  do {                                                                \
    if (cond) {                                                       \
      g_checksPassed++;                                               \
    } else {                                                          \
      g_checksFailed++;                                               \
      printf("%s:%d: check failed: %s: ", __FILE__, __LINE__, #cond); \
      printf(__VA_ARGS__);                                            \
      printf("\n");                                                   \
      fflush(stdout);                                                 \
    }                                                                 \
  } while (0)

static inline int CheckSummary(const char* name) {
  printf("%s: %d passed, %d failed\n", name, g_checksPassed, g_checksFailed);
  return g_checksFailed ? 1 : 0;
}
