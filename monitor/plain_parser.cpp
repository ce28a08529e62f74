// The plain reply parser for the maker's printers: a reply is any text ended by a form feed,
// and one item in it ("CODE=40021", "TOTAL = 4194304", ...) gives at most one token.
//
// One call reads a run of complete replies and reports it, so that the status thread's driver
// (apply the tokens on PARSE_DONE; on any result but PARSE_MORE go on at stop while the
// character there is not NUL; on PARSE_MORE keep the text from where the call began) neither
// loses a reply nor applies one twice:
//   - PARSE_DONE: the run gave tokens. stop is just past the form feed of the last reply that
//     gave one; replies without an item after it are left for the next call.
//   - PARSE_BAD: the run's replies gave no token; stop is just past the last complete reply's
//     form feed.
//   - PARSE_MORE: the text holds no complete reply; stop is the text and the text is unchanged.
//   - PARSE_FULL: only with maxTokens 0, for a reply whose token had no room; stop is just past
//     that reply's form feed, so the driver still moves on.
// A run ends at the end of the text, at an incomplete reply (which the next call then reports
// as PARSE_MORE, so the status thread carries it whole), or when the token array is full.
// Form feeds are kept while the run is read and only those before stop become NUL at the end:
// stop itself never points at a NUL that a form feed left, so the driver's "not NUL" test sees
// the next reply's first character, or the true end of the text.
#include "reply_parsers.h"

#include <string.h>

#include "text_ops.h"

namespace {

const char kFormFeed = '\x0C';

// Smallest memory size a plain reply may report; smaller values are misreadings.
const uint32_t MIN_PLAIN_MEMORY = 327680;  // 0x50000

// Memory items, tried in this order; the first needle found decides, whatever its value.
struct MemoryNeedle {
  const char* text;
  uint32_t length;  // of text, without its NUL
  uint32_t id;
};
template <size_t N>
constexpr MemoryNeedle Needle(const char (&text)[N], uint32_t id) {
  return MemoryNeedle{text, static_cast<uint32_t>(N - 1), id};
}
const MemoryNeedle MemoryNeedles[] = {
    Needle("TOTAL = ", TOK_MEM_TOTAL),         Needle("TOTAL=", TOK_MEM_TOTAL),
    Needle("INSTALLED = ", TOK_MEM_INSTALLED), Needle("INSTALLED=", TOK_MEM_INSTALLED),
    Needle("MEMORY = ", TOK_CONFIG_MEMORY),    Needle("MEMORY=", TOK_CONFIG_MEMORY),
};

// A status code of five digits after "CODE=" or, failing that, "CODE = ".
bool ParseCodeItem(const char* reply, StatusToken* token) {
  const char* number;
  const char* hit = FindSubstring(reply, "CODE=");
  if (hit != NULL) {
    number = hit + 5;
  } else {
    hit = FindSubstring(reply, "CODE = ");
    if (hit == NULL) return false;
    number = hit + 7;
  }
  uint32_t code = ReadDecimalCapped(number);  // no space skipped: "CODE= 1" reads 0
  if (code < 10000 || code > 99999) return false;
  token->id = TOK_DEVICE_CODE;
  token->value = code;
  return true;
}

bool ParseMemoryItem(const char* reply, StatusToken* token) {
  for (const MemoryNeedle& needle : MemoryNeedles) {
    const char* hit = FindSubstring(reply, needle.text);
    if (hit == NULL) continue;
    uint32_t size = ReadDecimal(hit + needle.length);
    if (size < MIN_PLAIN_MEMORY) return false;
    token->id = needle.id;
    token->value = size;
    return true;
  }
  return false;
}

// Every needle holds one "=", at most 10 characters after its start ("INSTALLED = "), so no
// needle starts more than 10 characters before the reply's first "=": the searches begin there,
// and a reply without "=" holds no item at all. The leftmost occurrences found are unchanged.
const uint32_t kMaxEqualsOffset = 10;

// reply is NUL-terminated where its form feed stood.
bool ParseItem(const char* reply, StatusToken* token) {
  const char* equals = FindChar(reply, '=');
  if (equals == NULL) return false;
  const char* from =
      static_cast<uint32_t>(equals - reply) > kMaxEqualsOffset ? equals - kMaxEqualsOffset : reply;
  return ParseCodeItem(from, token) || ParseMemoryItem(from, token);
}

}  // namespace

ParseResult ParsePlainReply(char* text, uint32_t maxTokens, StatusToken* tokens, uint32_t* count,
                            char** stop) {
  uint32_t stored = 0;
  char* tokenEnd = NULL;  // just past the form feed of the last reply that gave a token
  char* runEnd = NULL;    // just past the form feed of the last complete reply read
  bool noRoom = false;    // a reply gave a token with maxTokens 0

  char* reply = text;
  for (;;) {
    char* ff = const_cast<char*>(FindChar(reply, kFormFeed));
    if (ff == NULL) break;  // the text ends, or an incomplete reply follows
    StatusToken token;
    *ff = '\0';  // the reply as a text of its own while it is searched
    bool gave = ParseItem(reply, &token);
    *ff = kFormFeed;
    runEnd = ff + 1;
    reply = ff + 1;
    if (gave) {
      if (maxTokens == 0) {
        noRoom = true;
        break;
      }
      tokens[stored++] = token;
      tokenEnd = runEnd;
      if (stored == maxTokens) break;
    }
    if (*reply == '\0') break;
  }

  ParseResult result;
  char* end;
  if (tokenEnd != NULL) {
    result = PARSE_DONE;
    end = tokenEnd;
  } else if (runEnd != NULL) {
    result = noRoom ? PARSE_FULL : PARSE_BAD;
    end = runEnd;
  } else {
    result = PARSE_MORE;
    end = text;
  }

  // The replies reported by this call end in NUL, as they did while they were searched.
  for (char* p = text; p < end;) {
    char* ff = static_cast<char*>(memchr(p, kFormFeed, static_cast<size_t>(end - p)));
    if (ff == NULL) break;
    *ff = '\0';
    p = ff + 1;
  }

  *count = stored;
  *stop = end;
  return result;
}
