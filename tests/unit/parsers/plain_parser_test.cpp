// The plain reply parser: which items count, where a call stops, and that the status thread's
// way of calling it applies every complete reply once and carries an incomplete one whole.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "parser_test_support.h"
#include "reply_parsers.h"

namespace {

struct PlainRun : ParserRun {
  std::string after;  // the text after the call, terminator included
};

PlainRun Parse(const std::string& text, uint32_t maxTokens = MAX_REPLY_TOKENS) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  PlainRun run;
  char* stop = nullptr;
  run.result = ParsePlainReply(buffer.data(), maxTokens, run.tokens, &run.count, &stop);
  run.stop = static_cast<size_t>(stop - buffer.data());
  run.after.assign(buffer.begin(), buffer.end());
  return run;
}

// The token one reply gives on its own, or none.
TEST(PlainParser, ItemsAndTheirRanges) {
  struct Case {
    const char* reply;
    std::initializer_list<StatusToken> tokens;
  } cases[] = {
      {"CODE=10001", {{TOK_DEVICE_CODE, 10001}}},
      {"status: CODE = 40021 (door)", {{TOK_DEVICE_CODE, 40021}}},
      {"CODE=9999", {}},
      {"CODE=10000", {{TOK_DEVICE_CODE, 10000}}},
      {"CODE=99999", {{TOK_DEVICE_CODE, 99999}}},
      {"CODE=100000", {}},
      {"CODE=012345", {{TOK_DEVICE_CODE, 12345}}},
      {"CODE= 10001", {}},  // no space is skipped
      {"code=10001", {}},
      {"CODE=5 CODE = 40021", {}},  // "CODE=" found: "CODE = " is not tried
      {"MEMORY=327679", {}},
      {"MEMORY=327680", {{TOK_CONFIG_MEMORY, 327680}}},
      {"MEMORY = 2097152", {{TOK_CONFIG_MEMORY, 2097152}}},
      {"INSTALLED = 4194304", {{TOK_MEM_INSTALLED, 4194304}}},
      {"INSTALLED=4194304", {{TOK_MEM_INSTALLED, 4194304}}},
      {"TOTAL=1048576", {{TOK_MEM_TOTAL, 1048576}}},
      {"CODE=30010 TOTAL=1048576", {{TOK_DEVICE_CODE, 30010}}},
      {"CODE=1 TOTAL=1048576", {{TOK_MEM_TOTAL, 1048576}}},  // code rejected, memory tried
      // The needles' order decides, not their place in the reply; a small value ends the rule.
      {"TOTAL=100 INSTALLED=2097152", {}},
      {"MEMORY=400000 TOTAL=500000", {{TOK_MEM_TOTAL, 500000}}},
      {"TOTAL=500000 TOTAL = 600000", {{TOK_MEM_TOTAL, 600000}}},
      {"INSTALLED=100 MEMORY=2097152", {}},
      {"TOTAL=4294967296", {}},                         // wraps to 0
      {"TOTAL=4295294976", {{TOK_MEM_TOTAL, 327680}}},  // wraps into range
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    PlainRun run = Parse(std::string(c.reply) + "\f");
    uint32_t result = c.tokens.size() != 0 ? PARSE_DONE : PARSE_BAD;
    ExpectRun(run, result, strlen(c.reply) + 1, c.tokens);
  }
}

TEST(PlainParser, ResultsAndStops) {
  // A complete reply: its form feed now holds NUL and stop is just past it.
  PlainRun one = Parse("CODE=10001\f");
  ExpectRun(one, PARSE_DONE, 11, {{TOK_DEVICE_CODE, 10001}});
  EXPECT_TRUE(SameBytes(one.after.data(), "CODE=10001\0", 12));

  // No form feed: nothing read, nothing written.
  PlainRun none = Parse("CODE=10001");
  ExpectRun(none, PARSE_MORE, 0, {});
  EXPECT_TRUE(SameBytes(none.after.data(), "CODE=10001", 11));
  ExpectRun(Parse(""), PARSE_MORE, 0, {});

  ExpectRun(Parse("\f"), PARSE_BAD, 1, {});
  ExpectRun(Parse("CODE = 40021\fTOTAL = 4194304\f"), PARSE_DONE, 29,
            {{TOK_DEVICE_CODE, 40021}, {TOK_MEM_TOTAL, 4194304}});
  ExpectRun(Parse("READY\fCODE=10001\f"), PARSE_DONE, 17, {{TOK_DEVICE_CODE, 10001}});

  // Replies without an item after the last one with a token are left for the next call.
  PlainRun trailing = Parse("CODE=10001\fREADY\f");
  ExpectRun(trailing, PARSE_DONE, 11, {{TOK_DEVICE_CODE, 10001}});
  EXPECT_TRUE(SameBytes(trailing.after.data(), "CODE=10001\0READY\f", 18));

  // A full array ends the run after the reply that filled it.
  ExpectRun(Parse("CODE=10001\fCODE=10002\fCODE=10003\f", 2), PARSE_DONE, 22,
            {{TOK_DEVICE_CODE, 10001}, {TOK_DEVICE_CODE, 10002}});
  // No room at all: that reply is passed over with PARSE_FULL so the caller still moves on.
  PlainRun noRoom = Parse("READY\fCODE=10001\fCODE=10002\f", 0);
  ExpectRun(noRoom, PARSE_FULL, 17, {});
  EXPECT_TRUE(SameBytes(noRoom.after.data(), "READY\0CODE=10001\0CODE=10002\f", 29));
}

// A complete reply and an incomplete one behind it: the complete one is reported first and
// the incomplete one is untouched, so the next call returns PARSE_MORE on it.
TEST(PlainParser, CompleteRepliesBeforeAnIncompleteOne) {
  PlainRun first = Parse("CODE=10001\fCODE=4");
  ExpectRun(first, PARSE_DONE, 11, {{TOK_DEVICE_CODE, 10001}});
  EXPECT_TRUE(SameBytes(first.after.data(), "CODE=10001\0CODE=4", 18));
  ExpectRun(Parse("CODE=4"), PARSE_MORE, 0, {});

  PlainRun noise = Parse("READY\fCODE=4");
  ExpectRun(noise, PARSE_BAD, 6, {});
  EXPECT_TRUE(SameBytes(noise.after.data(), "READY\0CODE=4", 13));
}

// The status thread's driver: call at the start; after any result but PARSE_MORE, call again
// at stop while the character there is not NUL; apply tokens on PARSE_DONE; on PARSE_MORE keep
// the text from where that call began for the next read.
struct Driven {
  std::vector<StatusToken> applied;
  std::vector<uint32_t> results;
  std::string carried;
};

Driven Drive(const std::string& text, uint32_t maxTokens = MAX_REPLY_TOKENS) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  Driven d;
  char* at = buffer.data();
  for (int calls = 0; calls < 1000; ++calls) {
    StatusToken tokens[MAX_REPLY_TOKENS];
    uint32_t count = 0;
    char* stop = nullptr;
    uint32_t result = ParsePlainReply(at, maxTokens, tokens, &count, &stop);
    d.results.push_back(result);
    if (result == PARSE_MORE) {
      d.carried = at;
      break;
    }
    if (result == PARSE_DONE) d.applied.insert(d.applied.end(), tokens, tokens + count);
    if (*stop == '\0') break;
    at = stop;
  }
  return d;
}

TEST(PlainParser, TheStatusThreadLosesNoReplyAndAppliesNoneTwice) {
  struct Case {
    const char* text;
    std::initializer_list<uint32_t> results;
    std::initializer_list<StatusToken> applied;
    const char* carried;
  } cases[] = {
      {"CODE=10001\fREADY\f", {PARSE_DONE, PARSE_BAD}, {{TOK_DEVICE_CODE, 10001}}, ""},
      {"CODE=10001\fCODE=4", {PARSE_DONE, PARSE_MORE}, {{TOK_DEVICE_CODE, 10001}}, "CODE=4"},
      {"A\f\fCODE=41003\f\fB",
       {PARSE_DONE, PARSE_BAD, PARSE_MORE},
       {{TOK_DEVICE_CODE, 41003}},
       "B"},
      {"CODE=10001\fCODE=10002\fCODE=10003\fTOTAL=",
       {PARSE_DONE, PARSE_DONE, PARSE_MORE},
       {{TOK_DEVICE_CODE, 10001}, {TOK_DEVICE_CODE, 10002}, {TOK_DEVICE_CODE, 10003}},
       "TOTAL="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Driven d = Drive(c.text, 2);
    ASSERT_EQ(c.results.size(), d.results.size());
    size_t i = 0;
    for (uint32_t r : c.results) {
      EXPECT_EQ(DescribeResult(r), DescribeResult(d.results[i])) << "call " << i;
      ++i;
    }
    EXPECT_TRUE(SameTokens(d.applied.data(), static_cast<uint32_t>(d.applied.size()), c.applied));
    EXPECT_EQ(std::string(c.carried), d.carried);
  }
}

TEST(PlainParser, TwentyRepliesFillTheArrayAndTheRestFollows) {
  std::string text;
  for (int i = 0; i < 21; ++i) text += "CODE=" + std::to_string(40001 + i) + "\f";
  text += "READY\f";
  PlainRun run = Parse(text);
  EXPECT_EQ(DescribeResult(PARSE_DONE), DescribeResult(run.result));
  EXPECT_EQ(20u, run.count);
  EXPECT_EQ(20u * 11, run.stop);  // just past the twentieth form feed

  Driven d = Drive(text);
  ASSERT_EQ(21u, d.applied.size());
  for (uint32_t i = 0; i < 21; ++i) EXPECT_EQ(40001 + i, d.applied[i].value);
  EXPECT_EQ(3u, d.results.size());  // DONE (20), DONE (1), BAD (the READY reply)
}

}  // namespace
