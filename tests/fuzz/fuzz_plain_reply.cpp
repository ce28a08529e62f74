// The plain reply parser over arbitrary bytes, driven as the status thread drives it: a call
// at the start; after any result but PARSE_MORE another at stop while the character there is
// not NUL; tokens applied on PARSE_DONE; on PARSE_MORE the text from that call's start is kept.
// Besides the bounds of each call, the tokens applied over the whole text must be exactly those
// of its complete replies, each once and in order, whatever the token array's size, and what is
// kept must be exactly the incomplete reply at the end.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_parsers_check.h"
#include "reply_parsers.h"

namespace {

const char kFormFeed = '\x0C';

// The items of one reply, written out plainly from their definition.
bool ReferenceItem(const std::string& reply, StatusToken* token) {
  size_t at = reply.find("CODE=");
  size_t number = at != std::string::npos ? at + 5 : std::string::npos;
  if (at == std::string::npos) {
    at = reply.find("CODE = ");
    if (at != std::string::npos) number = at + 7;
  }
  if (number != std::string::npos) {
    uint32_t code = 0;
    for (size_t i = number; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
      code = code * 10 + static_cast<uint32_t>(reply[i] - '0');
      if (code > 99999) break;
    }
    if (code >= 10000 && code <= 99999) {
      *token = StatusToken{TOK_DEVICE_CODE, code};
      return true;
    }
  }
  static const struct {
    const char* text;
    uint32_t id;
  } needles[] = {{"TOTAL = ", TOK_MEM_TOTAL},         {"TOTAL=", TOK_MEM_TOTAL},
                 {"INSTALLED = ", TOK_MEM_INSTALLED}, {"INSTALLED=", TOK_MEM_INSTALLED},
                 {"MEMORY = ", TOK_CONFIG_MEMORY},    {"MEMORY=", TOK_CONFIG_MEMORY}};
  for (const auto& needle : needles) {
    at = reply.find(needle.text);
    if (at == std::string::npos) continue;
    uint32_t size = 0;
    for (size_t i = at + strlen(needle.text);
         i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) {
      size = size * 10 + static_cast<uint32_t>(reply[i] - '0');
    }
    if (size < 327680) return false;
    *token = StatusToken{needle.id, size};
    return true;
  }
  return false;
}

bool SameTokens(const std::vector<StatusToken>& a, const std::vector<StatusToken>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || a[i].value != b[i].value) return false;
  }
  return true;
}

// Drives the parser over a fresh copy of text; returns the tokens applied and sets kept.
std::vector<StatusToken> Drive(const std::string& text, uint32_t maxTokens, std::string* kept) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  char* start = buffer.data();
  char* end = start + text.size();
  std::vector<StatusToken> applied;
  kept->clear();

  char* at = start;
  for (;;) {
    StatusToken tokens[MAX_REPLY_TOKENS + 1];
    memset(tokens, 0xA5, sizeof tokens);
    uint32_t count = 0xFFFFFFFF;
    char* stop = NULL;
    uint32_t result = ParsePlainReply(at, maxTokens, tokens, &count, &stop);

    FUZZ_CHECK(result == PARSE_DONE || result == PARSE_MORE || result == PARSE_BAD ||
               result == PARSE_FULL);
    FUZZ_CHECK(stop != NULL && stop >= at && stop <= end);
    FUZZ_CHECK(count <= maxTokens);
    StatusToken untouched;
    memset(&untouched, 0xA5, sizeof untouched);
    FUZZ_CHECK(memcmp(&tokens[maxTokens], &untouched, sizeof untouched) == 0);
    // What this call read: its form feeds now hold NUL, nothing else changed. (Each byte is
    // checked once, after the call that covers it, so a stray write by any call is seen.)
    for (char* p = at; p < stop; ++p) {
      char was = text[static_cast<size_t>(p - start)];
      FUZZ_CHECK(*p == (was == kFormFeed ? '\0' : was));
    }
    switch (result) {
      case PARSE_MORE:
        FUZZ_CHECK(stop == at && count == 0);
        FUZZ_CHECK(memchr(at, kFormFeed, static_cast<size_t>(end - at)) == NULL);
        kept->assign(at, end);
        FUZZ_CHECK(*kept == text.substr(static_cast<size_t>(at - start)));  // untouched
        return applied;
      case PARSE_DONE:
        FUZZ_CHECK(count >= 1);
        applied.insert(applied.end(), tokens, tokens + count);
        break;
      case PARSE_BAD:
        FUZZ_CHECK(count == 0);
        break;
      case PARSE_FULL:
        FUZZ_CHECK(count == 0 && maxTokens == 0);
        break;
    }
    // stop is just past a form feed, never on a NUL that one left.
    FUZZ_CHECK(stop > at && text[static_cast<size_t>(stop - 1 - start)] == kFormFeed);
    if (*stop == '\0') {
      FUZZ_CHECK(stop == end);
      return applied;
    }
    at = stop;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  std::string text(bytes, strnlen(bytes, size));  // the text ends at the first NUL

  std::vector<StatusToken> want;
  size_t replyStart = 0;
  for (size_t ff = text.find(kFormFeed); ff != std::string::npos;
       ff = text.find(kFormFeed, replyStart)) {
    StatusToken token;
    if (ReferenceItem(text.substr(replyStart, ff - replyStart), &token)) want.push_back(token);
    replyStart = ff + 1;
  }
  const std::string wantKept = text.substr(replyStart);

  std::string kept;
  FUZZ_CHECK(SameTokens(Drive(text, MAX_REPLY_TOKENS, &kept), want));
  FUZZ_CHECK(kept == wantKept);
  // A small array gives the same tokens over more calls; with no room at all nothing is
  // applied and the driver still reaches the end.
  uint32_t small = static_cast<uint32_t>(size % 3);
  std::vector<StatusToken> applied = Drive(text, small, &kept);
  FUZZ_CHECK(small == 0 ? applied.empty() : SameTokens(applied, want));
  FUZZ_CHECK(kept == wantKept);
  return 0;
}
