// Comparisons for the parser tests that say where two results part: the first differing token
// or byte, both sides shown.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>
#include <string>

#include "status_token.h"
#include "token_names.h"

// One parser call on a text: its result, its tokens and where it stopped.
struct ParserRun {
  uint32_t result;
  uint32_t count;
  size_t stop;  // offset from the text
  StatusToken tokens[MAX_REPLY_TOKENS + 1];
};

inline std::string DescribeToken(const StatusToken& t) {
  const char* name = TokenIdName(t.id);
  char buffer[96];
  if (name != nullptr) {
    snprintf(buffer, sizeof buffer, "(%s, %lu)", name, static_cast<unsigned long>(t.value));
  } else {
    snprintf(buffer, sizeof buffer, "(0x%lx, %lu)", static_cast<unsigned long>(t.id),
             static_cast<unsigned long>(t.value));
  }
  return buffer;
}

inline std::string DescribeResult(uint32_t result) {
  const char* name = ParseResultName(result);
  return name != nullptr ? name : std::to_string(result);
}

// got[0..count) against want, token by token.
inline ::testing::AssertionResult SameTokens(const StatusToken* got, uint32_t count,
                                             std::initializer_list<StatusToken> want) {
  size_t i = 0;
  for (const StatusToken& w : want) {
    if (i >= count) {
      return ::testing::AssertionFailure() << "token " << i << ": got none (count " << count
                                           << "), expected " << DescribeToken(w);
    }
    if (got[i].id != w.id || got[i].value != w.value) {
      return ::testing::AssertionFailure()
             << "first difference at token " << i << ": got " << DescribeToken(got[i])
             << ", expected " << DescribeToken(w);
    }
    ++i;
  }
  if (i != count) {
    return ::testing::AssertionFailure()
           << "got " << count << " tokens, expected " << i << "; extra token " << i << " is "
           << DescribeToken(got[i]);
  }
  return ::testing::AssertionSuccess();
}

// n bytes of got against want, showing the first differing offset in hex.
inline ::testing::AssertionResult SameBytes(const char* got, const char* want, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (got[i] != want[i]) {
      char buffer[96];
      snprintf(buffer, sizeof buffer, "first difference at offset %zu: got 0x%02x, expected 0x%02x",
               i, static_cast<unsigned char>(got[i]), static_cast<unsigned char>(want[i]));
      return ::testing::AssertionFailure() << buffer;
    }
  }
  return ::testing::AssertionSuccess();
}

inline void ExpectRun(const ParserRun& run, uint32_t result, size_t stop,
                      std::initializer_list<StatusToken> tokens) {
  EXPECT_EQ(DescribeResult(result), DescribeResult(run.result));
  EXPECT_EQ(stop, run.stop) << "stop offset";
  EXPECT_TRUE(SameTokens(run.tokens, run.count, tokens));
}
