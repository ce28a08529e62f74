// The PJL reply parser: one call reads one reply ("@PJL" and its words, lines ended by CR LF,
// a form feed) and turns what the keyword tree knows into StatusTokens. The text is only read,
// so a reply that arrives in pieces is parsed again from its start until it is complete.
//
// The parser is a loop over a tree of constant keyword levels: each level lists the words that
// may come next and the action that reads what follows each word. The actions and the levels'
// fallbacks are one constant table of operations. Every primitive moves forward only.
#include "reply_parsers.h"

#include "pjl_keyword_tree.h"

#include <stddef.h>
#include <string.h>

namespace {

const char kFormFeed = '\x0C';
const char kTab = '\x09';

using namespace pjl;

// ---- The working record of one call.

struct ParseContext {
  const char* text;           // start of the text given to this call
  const char* cursor;         // next character to read
  uint32_t remaining;         // tokens that still fit
  uint32_t count;             // tokens stored
  StatusToken* output;        // next free token
  uint32_t currentId;         // id of the next token stored
  uint32_t matchedIndex;      // row of the last MatchKeyword hit in its table
  ParseResult state;          // PARSE_RUNNING until the reply is decided
  const KeywordLevel* level;  // level being parsed
  const KeywordEntry* table;  // table MatchKeyword searches
};

// ---- Primitives. Each returns true on success; a failure has set the state.

bool Fail(ParseContext* ctx, ParseResult state) {
  ctx->state = state;
  return false;
}

// Forward-only search: a character that breaks a partial match restarts the needle and is not
// itself tried as the needle's first character (so "@@PJL" holds no "@PJL").
bool FindText(ParseContext* ctx, const char* needle) {
  const char* p = ctx->cursor;
  const char* n = needle;
  for (;;) {
    char c = *p;
    if (c == '\0') {
      ctx->cursor = p;
      return Fail(ctx, PARSE_MORE);
    }
    ++p;
    if (c == kFormFeed) {
      ctx->cursor = p;
      return Fail(ctx, PARSE_FORMFEED);
    }
    if (c == *n) {
      if (*++n == '\0') {
        ctx->cursor = p;
        return true;
      }
    } else {
      n = needle;
    }
  }
}

bool SkipSpaces(ParseContext* ctx) {
  const char* p = ctx->cursor;
  while (*p == ' ') ++p;
  if (*p == '\0') {
    ctx->cursor = p;
    return Fail(ctx, PARSE_MORE);
  }
  if (*p == kFormFeed) {
    ctx->cursor = p + 1;
    return Fail(ctx, PARSE_FORMFEED);
  }
  ctx->cursor = p;
  return true;
}

// The text begins with the keyword. The keyword holds no NUL, so the text's NUL ends the
// comparison as a difference.
inline bool StartsWith(const char* p, const char* keyword, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (p[i] != keyword[i]) return false;
  }
  return true;
}

// Index of the first row of the current table that the text begins with, or -1; on a miss
// neither cursor nor state changes. Keywords hold no NUL, so a compare never passes the text's.
int MatchKeyword(ParseContext* ctx) {
  const char* p = ctx->cursor;
  for (const KeywordEntry* row = ctx->table; row->text != NULL; ++row) {
    if (StartsWith(p, row->text, row->length)) {
      ctx->cursor = p + row->length;
      ctx->matchedIndex = static_cast<uint32_t>(row - ctx->table);
      return static_cast<int>(ctx->matchedIndex);
    }
  }
  return -1;
}

bool MatchLiteral(ParseContext* ctx, const char* literal) {
  const char* p = ctx->cursor;
  for (; *literal != '\0'; ++literal, ++p) {
    if (*p == *literal) continue;
    ctx->cursor = p;
    if (*p == '\0') return Fail(ctx, PARSE_MORE);
    return Fail(ctx, PARSE_BAD);  // a form feed here, or any other differing character
  }
  ctx->cursor = p;
  return true;
}

// Spaces, then an unsigned decimal number that wraps at 32 bits.
bool ReadNumber(ParseContext* ctx, uint32_t* value) {
  if (!SkipSpaces(ctx)) {
    if (ctx->state == PARSE_FORMFEED) ctx->state = PARSE_BAD;
    return false;
  }
  const char* p = ctx->cursor;
  if (*p < '0' || *p > '9') return Fail(ctx, PARSE_BAD);
  uint32_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) v = v * 10 + static_cast<uint32_t>(*p - '0');
  ctx->cursor = p;
  if (*p == '\0') return Fail(ctx, PARSE_MORE);  // more digits may be on their way
  *value = v;
  return true;
}

bool SkipToFormFeed(ParseContext* ctx) {
  const char* ff = strchr(ctx->cursor, kFormFeed);
  if (ff == NULL) {
    ctx->cursor += strlen(ctx->cursor);
    return Fail(ctx, PARSE_MORE);
  }
  ctx->cursor = ff + 1;
  ctx->state = PARSE_FORMFEED;
  return true;
}

bool SkipLine(ParseContext* ctx) {
  if (FindText(ctx, "\r\n")) return true;
  if (ctx->state == PARSE_FORMFEED) ctx->state = PARSE_BAD;
  return false;
}

// After a line end the reply must end: the next character is its form feed.
void EndOfReply(ParseContext* ctx) {
  if (ctx->state != PARSE_RUNNING) return;
  char c = *ctx->cursor;
  if (c == kFormFeed) {
    ++ctx->cursor;
    ctx->state = PARSE_DONE;
  } else if (c == '\0') {
    ctx->state = PARSE_MORE;
  } else {
    ctx->state = PARSE_BAD;
  }
}

// The rest of the line, which must be the reply's last.
void FinishLine(ParseContext* ctx) {
  if (ctx->state != PARSE_RUNNING) return;
  if (*ctx->cursor == '\0') {
    ctx->state = PARSE_MORE;
    return;
  }
  if (FindText(ctx, "\r\n")) {
    EndOfReply(ctx);
  } else if (ctx->state == PARSE_FORMFEED) {
    ctx->state = PARSE_BAD;
  }
}

void SetTokenId(ParseContext* ctx, uint32_t id) {
  ctx->currentId = id;
}

bool StoreToken(ParseContext* ctx, uint32_t value) {
  if (ctx->remaining == 0) return Fail(ctx, PARSE_FULL);
  ctx->output->id = ctx->currentId;
  ctx->output->value = value;
  ++ctx->output;
  ++ctx->count;
  --ctx->remaining;
  return true;
}

void SetLevel(ParseContext* ctx, const KeywordLevel* level) {
  ctx->level = level;
}

// TRUE or FALSE as a prefix match; the row index is the value. No match is a broken reply,
// also when the text ends inside the word.
bool MatchBoolean(ParseContext* ctx, uint32_t* value) {
  ctx->table = BooleanRows;
  if (MatchKeyword(ctx) < 0) return Fail(ctx, PARSE_BAD);
  *value = ctx->matchedIndex;
  return true;
}

// Id of the row just matched at the level where it matched.
uint32_t RowId(const ParseContext* ctx) {
  return ctx->level->baseId + ctx->matchedIndex;
}

// ---- Fallback actions (the argument is unused).

void SkipReply(ParseContext* ctx, KeywordArg) {
  if (SkipToFormFeed(ctx)) ctx->state = PARSE_DONE;
}

void SkipLines(ParseContext* ctx, KeywordArg) {
  bool ok = SkipLine(ctx);
  while (ok && *ctx->cursor == kTab) ok = SkipLine(ctx);
}

// ---- Keyword actions. Each step runs only if the one before succeeded.

void ActNumber(ParseContext* ctx, KeywordArg arg) {
  uint32_t n;
  SetTokenId(ctx, arg.value);
  if (ReadNumber(ctx, &n) && StoreToken(ctx, n)) FinishLine(ctx);
}

void ActDescend(ParseContext* ctx, KeywordArg arg) {
  SetLevel(ctx, arg.level);
}

void ActMemory(ParseContext* ctx, KeywordArg) {
  uint32_t total, largest;
  if (!MatchLiteral(ctx, "TOTAL=")) return;
  SetTokenId(ctx, TOK_MEM_TOTAL);
  if (!ReadNumber(ctx, &total) || !StoreToken(ctx, total)) return;
  if (!MatchLiteral(ctx, "\r\nLARGEST=")) return;
  SetTokenId(ctx, TOK_MEM_LARGEST);
  if (!ReadNumber(ctx, &largest) || !StoreToken(ctx, largest)) return;
  FinishLine(ctx);
}

void ActStatus(ParseContext* ctx, KeywordArg) {
  uint32_t code, online;
  if (!MatchLiteral(ctx, "CODE=")) return;
  SetTokenId(ctx, TOK_INFO_CODE);
  if (!ReadNumber(ctx, &code) || !StoreToken(ctx, code)) return;
  if (!MatchLiteral(ctx, "\r\nDISPLAY=")) return;
  if (!SkipLine(ctx)) return;  // the display text is not kept
  if (!MatchLiteral(ctx, "ONLINE=")) return;
  SetTokenId(ctx, TOK_INFO_ONLINE);
  if (!MatchBoolean(ctx, &online) || !StoreToken(ctx, online)) return;
  FinishLine(ctx);
}

void ActIdDescend(ParseContext* ctx, KeywordArg arg) {
  SetTokenId(ctx, RowId(ctx));
  SetLevel(ctx, arg.level);
}

void ActConstLine(ParseContext* ctx, KeywordArg arg) {
  if (StoreToken(ctx, arg.value)) FinishLine(ctx);
}

void ActNumberLiteral(ParseContext* ctx, KeywordArg arg) {
  uint32_t n;
  SetTokenId(ctx, RowId(ctx));
  if (ReadNumber(ctx, &n) && StoreToken(ctx, n)) MatchLiteral(ctx, arg.literal);
}

void ActConst(ParseContext* ctx, KeywordArg arg) {
  StoreToken(ctx, arg.value);
}

void ActBoolLiteral(ParseContext* ctx, KeywordArg arg) {
  uint32_t b;
  SetTokenId(ctx, RowId(ctx));
  if (MatchBoolean(ctx, &b) && StoreToken(ctx, b)) MatchLiteral(ctx, arg.literal);
}

// The value is the display text's offset from the start of the text given to this call: a
// position that fits 32 bits on every build.
void ActTextLine(ParseContext* ctx, KeywordArg) {
  SetTokenId(ctx, RowId(ctx));
  if (StoreToken(ctx, static_cast<uint32_t>(ctx->cursor - ctx->text))) SkipLine(ctx);
}

// "n.m": two numbers under base + row and the id after it, then the literal.
void ActNumberPair(ParseContext* ctx, KeywordArg arg) {
  uint32_t first, second;
  SetTokenId(ctx, RowId(ctx));
  if (!ReadNumber(ctx, &first) || !StoreToken(ctx, first) || !MatchLiteral(ctx, ".")) return;
  SetTokenId(ctx, RowId(ctx) + 1);
  if (ReadNumber(ctx, &second) && StoreToken(ctx, second)) MatchLiteral(ctx, arg.literal);
}

// The fallbacks first, then the keyword actions: keyword action k is slot k + FB_COUNT.
typedef void (*ParseAction)(ParseContext* ctx, KeywordArg arg);
const ParseAction ActionTable[] = {
    SkipReply,         // FB_SKIP_REPLY
    SkipLines,         // FB_SKIP_LINES
    ActNumber,         // KA_NUMBER
    ActDescend,        // KA_DESCEND
    ActMemory,         // KA_MEMORY
    ActStatus,         // KA_STATUS
    ActIdDescend,      // KA_ID_DESCEND
    ActConstLine,      // KA_CONST_LINE
    ActNumberLiteral,  // KA_NUMBER_LITERAL
    ActConst,          // KA_CONST
    ActBoolLiteral,    // KA_BOOL_LITERAL
    ActTextLine,       // KA_TEXT_LINE
    ActNumberPair,     // KA_NUMBER_PAIR
};
static_assert(sizeof(ActionTable) / sizeof(ActionTable[0]) == ACTION_COUNT,
              "one slot per fallback and keyword action");
static_assert(sizeof(BooleanRows) / sizeof(BooleanRows[0]) == 2 + 1, "FALSE, TRUE, end row");
static_assert(sizeof(PaperRows) / sizeof(PaperRows[0]) == 9 + 1, "nine paper names, end row");
static_assert(sizeof(InquireRows) / sizeof(InquireRows[0]) == 4 + 1, "four trays, end row");

}  // namespace

ParseResult ParsePjlReply(const char* text, uint32_t maxTokens, StatusToken* tokens,
                          uint32_t* count, const char** stop) {
  ParseContext ctx;
  ctx.text = text;
  ctx.cursor = text;
  ctx.remaining = maxTokens;
  ctx.count = 0;
  ctx.output = tokens;
  ctx.currentId = 0;
  ctx.matchedIndex = 0;
  ctx.state = PARSE_RUNNING;
  ctx.level = &RootLevel;
  ctx.table = RootLevel.keywords;

  // Whatever stands before "@PJL" (the end of an earlier line, noise) is passed over.
  if (!FindText(&ctx, "@PJL")) ctx.state = PARSE_NO_PJL;

  while (ctx.state == PARSE_RUNNING) {
    const KeywordLevel* level = ctx.level;
    if (!SkipSpaces(&ctx)) {
      if (ctx.state == PARSE_FORMFEED) {
        ctx.state = level->acceptsFormFeed ? PARSE_DONE : PARSE_BAD;
      }
      break;
    }
    ctx.table = level->keywords;
    int row = MatchKeyword(&ctx);
    if (row >= 0) {
      const KeywordEntry& entry = level->keywords[row];
      ActionTable[FB_COUNT + entry.action](&ctx, entry.arg);
    } else {
      ActionTable[level->fallback](&ctx, Value(0));
    }
  }

  *count = ctx.count;
  *stop = ctx.cursor;
  return ctx.state;
}
