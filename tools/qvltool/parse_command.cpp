// qvltool parse pjl|plain [--max-tokens N]: runs a reply parser over the bytes on standard
// input the way the status thread does, and prints what each call returned, one JSON object a
// line.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "commands.h"
#include "json_out.h"
#include "reply_parsers.h"
#include "token_names.h"

namespace {

const uint32_t kDefaultMaxTokens = MAX_REPLY_TOKENS;
const uint32_t kLimitMaxTokens = 4096;
const size_t kLimitInput = 64u << 20;  // far beyond any reply buffer; guards against a stray pipe

const char kUsage[] =
    "usage: qvltool parse pjl|plain [--max-tokens N]\n"
    "\n"
    "Reads printer reply bytes from standard input (the text ends at the first NUL byte, as in\n"
    "the monitor's reply buffer) and runs the PJL or the plain reply parser over them as the\n"
    "status thread does: a call at the start, then, after any result but PARSE_MORE, another\n"
    "call at its stop while the character there is not NUL. Prints one JSON object per call:\n"
    "  "
    "{\"at\":A,\"result\":\"PARSE_...\",\"stop\":S,\"count\":C,\"tokens\":[[\"TOK_...\",V],...]}\n"
    "at and stop are byte offsets from the start of the input.\n"
    "\n"
    "  --max-tokens N   capacity of the token array (0 to 4096, default 20)\n";

typedef ParseResult (*ParserCall)(char* text, uint32_t maxTokens, StatusToken* tokens,
                                  uint32_t* count, char** stop);

ParseResult CallPjl(char* text, uint32_t maxTokens, StatusToken* tokens, uint32_t* count,
                    char** stop) {
  const char* end = text;
  ParseResult result = ParsePjlReply(text, maxTokens, tokens, count, &end);
  *stop = text + (end - text);
  return result;
}

struct ParserChoice {
  const char* name;
  ParserCall call;
};
const ParserChoice kParsers[] = {
    {"pjl", CallPjl},
    {"plain", ParsePlainReply},
};

int Usage(const char* problem) {
  fprintf(stderr, "qvltool parse: %s\n\n%s", problem, kUsage);
  return 2;
}

// Decimal 0..limit, nothing else.
bool ReadCount(const char* text, uint32_t limit, uint32_t* value) {
  if (*text == '\0') return false;
  uint32_t v = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + static_cast<uint32_t>(*p - '0');
    if (v > limit) return false;
  }
  *value = v;
  return true;
}

// All of standard input, NUL-terminated; NULL when it cannot be held.
char* ReadInput(size_t* length) {
  size_t size = 0, capacity = 4096;
  char* data = static_cast<char*>(malloc(capacity + 1));
  while (data != NULL) {
    size_t got = fread(data + size, 1, capacity - size, stdin);
    size += got;
    if (got == 0) break;
    if (size == capacity) {
      if (capacity >= kLimitInput) {
        free(data);
        return NULL;
      }
      char* grown = static_cast<char*>(realloc(data, capacity * 2 + 1));
      if (grown == NULL) free(data);
      data = grown;
      capacity *= 2;
    }
  }
  if (data == NULL) return NULL;
  data[size] = '\0';
  *length = size;
  return data;
}

void PrintCall(size_t at, uint32_t result, size_t stop, const StatusToken* tokens, uint32_t count) {
  const char* resultName = ParseResultName(result);
  printf("{\"at\":%lu,\"result\":", static_cast<unsigned long>(at));
  if (resultName != NULL) {
    JsonWriteCString(stdout, resultName);
  } else {
    printf("\"%lu\"", static_cast<unsigned long>(result));
  }
  printf(",\"stop\":%lu,\"count\":%lu,\"tokens\":[", static_cast<unsigned long>(stop),
         static_cast<unsigned long>(count));
  for (uint32_t i = 0; i < count; ++i) {
    const char* name = TokenIdName(tokens[i].id);
    fputs(i == 0 ? "[" : ",[", stdout);
    if (name != NULL) {
      JsonWriteCString(stdout, name);
    } else {
      printf("\"0x%lx\"", static_cast<unsigned long>(tokens[i].id));
    }
    printf(",%lu]", static_cast<unsigned long>(tokens[i].value));
  }
  fputs("]}\n", stdout);
}

}  // namespace

int ParseCommand(int argc, char** argv) {
  const ParserChoice* parser = NULL;
  uint32_t maxTokens = kDefaultMaxTokens;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
      fputs(kUsage, stdout);
      return 0;
    }
    if (strcmp(arg, "--max-tokens") == 0) {
      if (i + 1 >= argc) return Usage("--max-tokens needs a number");
      if (!ReadCount(argv[++i], kLimitMaxTokens, &maxTokens)) {
        return Usage("--max-tokens takes a whole number from 0 to 4096");
      }
      continue;
    }
    if (parser != NULL) return Usage("give one parser, pjl or plain");
    for (const ParserChoice& choice : kParsers) {
      if (strcmp(arg, choice.name) == 0) parser = &choice;
    }
    if (parser == NULL) return Usage("unknown parser or option (expected pjl or plain)");
  }
  if (parser == NULL) return Usage("missing parser: pjl or plain");

#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  size_t length = 0;
  char* text = ReadInput(&length);
  if (text == NULL) {
    fputs("qvltool parse: standard input is too large to hold\n", stderr);
    return 2;
  }
  // The tokens array has one spare slot so that a zero capacity is still a valid pointer.
  static StatusToken tokens[kLimitMaxTokens + 1];

  char* at = text;
  for (;;) {
    uint32_t count = 0;
    char* stop = at;
    uint32_t result = parser->call(at, maxTokens, tokens, &count, &stop);
    PrintCall(static_cast<size_t>(at - text), result, static_cast<size_t>(stop - text), tokens,
              count);
    if (result == PARSE_MORE || *stop == '\0') break;
    if (stop <= at) {  // the parsers always move on; never spin if one did not
      fputs("qvltool parse: the parser did not move past its start\n", stderr);
      free(text);
      return 1;
    }
    at = stop;
  }
  free(text);
  return 0;
}
