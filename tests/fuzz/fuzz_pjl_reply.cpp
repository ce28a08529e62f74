// The PJL reply parser over arbitrary bytes, called as the status thread calls it: at the
// start, then at each stop while the text goes on. Checks that every call stays inside the
// text, moves on, never writes the text, fills no more tokens than it may, and that a smaller
// token array gives the same reply up to the point where it is full.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "fuzz_parsers_check.h"
#include "reply_parsers.h"
#include "token_names.h"

namespace {

const char kFormFeed = '\x0C';

struct Call {
  uint32_t result;
  uint32_t count;
  const char* stop;
  StatusToken tokens[MAX_REPLY_TOKENS + 1];
};

void ParseAt(const char* at, uint32_t maxTokens, Call* call) {
  memset(call->tokens, 0xA5, sizeof call->tokens);
  call->count = 0xFFFFFFFF;
  call->stop = NULL;
  call->result = ParsePjlReply(at, maxTokens, call->tokens, &call->count, &call->stop);
}

void CheckCall(const char* at, const char* end, uint32_t maxTokens, const Call& c) {
  FUZZ_CHECK(c.result <= PARSE_FULL);
  FUZZ_CHECK(c.stop != NULL && c.stop >= at && c.stop <= end);
  FUZZ_CHECK(c.count <= maxTokens);
  // The slot after the last one allowed is never written.
  StatusToken untouched;
  memset(&untouched, 0xA5, sizeof untouched);
  FUZZ_CHECK(memcmp(&c.tokens[maxTokens], &untouched, sizeof untouched) == 0);
  for (uint32_t i = 0; i < c.count; ++i) {
    FUZZ_CHECK(TokenIdName(c.tokens[i].id) != NULL);
    if (c.tokens[i].id == TOK_DEVICE_DISPLAY) {
      FUZZ_CHECK(c.tokens[i].value <= static_cast<uint32_t>(c.stop - at));
    }
  }
  switch (c.result) {
    case PARSE_DONE:
      FUZZ_CHECK(c.stop > at && c.stop[-1] == kFormFeed);
      break;
    case PARSE_MORE:
      FUZZ_CHECK(c.stop == end);
      break;
    case PARSE_NO_PJL:
      FUZZ_CHECK(c.count == 0);
      FUZZ_CHECK(c.stop == end || c.stop[-1] == kFormFeed);
      break;
    default:  // PARSE_BAD, PARSE_FULL: somewhere past "@PJL"
      FUZZ_CHECK(c.stop >= at + 4);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  const std::vector<char> original = text;
  const char* start = text.data();
  const char* end = start + strlen(start);  // the text ends at the first NUL, as in the buffer
  const uint32_t small = static_cast<uint32_t>(size % 3);  // 0, 1 or 2 tokens of room

  const char* at = start;
  for (;;) {
    Call full, tight;
    ParseAt(at, MAX_REPLY_TOKENS, &full);
    CheckCall(at, end, MAX_REPLY_TOKENS, full);
    FUZZ_CHECK(memcmp(text.data(), original.data(), text.size()) == 0);

    // Less room changes nothing until the reply has more tokens than fit.
    ParseAt(at, small, &tight);
    CheckCall(at, end, small, tight);
    if (full.count <= small && full.result != PARSE_FULL) {
      FUZZ_CHECK(tight.result == full.result && tight.stop == full.stop &&
                 tight.count == full.count);
    } else if (full.count > small) {
      FUZZ_CHECK(tight.result == PARSE_FULL && tight.count == small);
    }
    FUZZ_CHECK(memcmp(tight.tokens, full.tokens, sizeof(StatusToken) * tight.count) == 0);

    if (full.result == PARSE_MORE || *full.stop == '\0') break;
    FUZZ_CHECK(full.stop > at);  // the driver always moves on
    at = full.stop;
  }
  return 0;
}
