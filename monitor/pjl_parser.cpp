// The PJL reply parser: one call reads one reply ("@PJL" and its words, lines ended by CR LF,
// a form feed) and turns what the keyword tree knows into StatusTokens. The text is only read,
// so a reply that arrives in pieces is parsed again from its start until it is complete.
//
// The parser is a loop over a tree of constant keyword levels: each level lists the words that
// may come next and the action that reads what follows each word. The actions and the levels'
// fallbacks are one constant table of operations. Every primitive moves forward only.
#include "reply_parsers.h"

#include <stddef.h>
#include <string.h>

namespace {

const char kFormFeed = '\x0C';
const char kTab = '\x09';

struct KeywordLevel;

// The one argument of a keyword row; which member is meant depends on the row's action.
union KeywordArg {
  uint32_t value;             // a token id or a constant value
  const KeywordLevel* level;  // the level to descend to
  const char* literal;        // a literal that must follow

  constexpr explicit KeywordArg(uint32_t v) : value(v) {}
  constexpr explicit KeywordArg(const KeywordLevel* l) : level(l) {}
  constexpr explicit KeywordArg(const char* s) : literal(s) {}
};

constexpr KeywordArg Value(uint32_t v) {
  return KeywordArg(v);
}
constexpr KeywordArg Level(const KeywordLevel* l) {
  return KeywordArg(l);
}
constexpr KeywordArg Literal(const char* s) {
  return KeywordArg(s);
}

// Keyword actions, in the order of their slots in the action table (after the fallbacks).
enum KeywordAction : uint8_t {
  KA_NUMBER = 0,          // token id: number, rest of the line, end of reply
  KA_DESCEND = 1,         // level: go down one level
  KA_MEMORY = 2,          // INFO MEMORY body
  KA_STATUS = 3,          // INFO STATUS body
  KA_ID_DESCEND = 4,      // level: make base + row the current id, go down
  KA_CONST_LINE = 5,      // value: store it, rest of the line, end of reply
  KA_NUMBER_LITERAL = 6,  // literal: number under base + row, then the literal
  KA_CONST = 7,           // value: store it under the current id
  KA_BOOL_LITERAL = 8,    // literal: TRUE/FALSE under base + row, then the literal
  KA_TEXT_LINE = 9,       // position of the text under base + row, skip the line
  KA_COUNT = 10
};

// What a level does with a line whose start matches none of its keywords.
enum FallbackAction : uint8_t {
  FB_SKIP_REPLY = 0,  // drop the rest of the reply
  FB_SKIP_LINES = 1,  // drop the line and its TAB-indented continuation lines
  FB_COUNT = 2
};

enum { ACTION_COUNT = FB_COUNT + KA_COUNT };

struct KeywordEntry {
  const char* text;  // matched as a prefix of the remaining text; NULL ends the table
  uint32_t length;   // strlen(text)
  uint8_t action;    // KA_ value
  KeywordArg arg;    // what the action needs
};

struct KeywordLevel {
  bool acceptsFormFeed;          // a form feed where the next keyword is due ends the reply well
  uint8_t fallback;              // FB_ value
  uint32_t baseId;               // id of row 0 for the actions that number tokens by row
  const KeywordEntry* keywords;  // ends with a row whose text is NULL
};

template <size_t N>
constexpr KeywordEntry Row(const char (&text)[N], uint8_t action, KeywordArg arg) {
  return KeywordEntry{text, static_cast<uint32_t>(N - 1), action, arg};
}
constexpr KeywordEntry EndRow() {
  return KeywordEntry{NULL, 0, 0, Value(0)};
}

// ---- The keyword tree, leaves first. Row order decides ties: the first prefix that fits wins.
// The actions that number tokens by row store under the level's baseId plus the row's index:
// the checks after the tree tie each such row to the token id its comment names.

constexpr KeywordEntry BooleanRows[] = {
    Row("FALSE", 0, Value(0)),  // 0: stored as 0
    Row("TRUE", 0, Value(0)),   // 1: stored as 1
    EndRow(),
};

// Paper names of an INQUIRE INTRAYnSIZE answer, valued as Windows DMPAPER_ codes.
constexpr KeywordEntry PaperRows[] = {
    Row("LETTER", KA_CONST_LINE, Value(1)),     // DMPAPER_LETTER
    Row("LEGAL", KA_CONST_LINE, Value(5)),      // DMPAPER_LEGAL
    Row("A4", KA_CONST_LINE, Value(9)),         // DMPAPER_A4
    Row("EXECUTIVE", KA_CONST_LINE, Value(7)),  // DMPAPER_EXECUTIVE
    Row("COM10", KA_CONST_LINE, Value(20)),     // DMPAPER_ENV_10
    Row("MONARCH", KA_CONST_LINE, Value(37)),   // DMPAPER_ENV_MONARCH
    Row("C5", KA_CONST_LINE, Value(28)),        // DMPAPER_ENV_C5
    Row("DL", KA_CONST_LINE, Value(27)),        // DMPAPER_ENV_DL
    Row("B5", KA_CONST_LINE, Value(34)),        // DMPAPER_ENV_B5
    EndRow(),
};
constexpr KeywordLevel PaperLevel = {false, FB_SKIP_REPLY, 0, PaperRows};

constexpr KeywordEntry InquireRows[] = {
    Row("INTRAY1SIZE\r\n", KA_ID_DESCEND, Level(&PaperLevel)),  // TOK_TRAY1_SIZE
    Row("INTRAY2SIZE\r\n", KA_ID_DESCEND, Level(&PaperLevel)),  // TOK_TRAY2_SIZE
    Row("INTRAY3SIZE\r\n", KA_ID_DESCEND, Level(&PaperLevel)),  // TOK_TRAY3_SIZE
    Row("INTRAY4SIZE\r\n", KA_ID_DESCEND, Level(&PaperLevel)),  // TOK_TRAY4_SIZE
    EndRow(),
};
constexpr KeywordLevel InquireLevel = {false, FB_SKIP_REPLY, TOK_TRAY1_SIZE, InquireRows};

constexpr KeywordEntry ConfigRows[] = {
    Row("MEMORY=", KA_NUMBER_LITERAL, Literal("\r\n")),    // TOK_CONFIG_MEMORY
    Row("MEMORY = ", KA_NUMBER_LITERAL, Literal("\r\n")),  // TOK_CONFIG_MEMORY_SPACED
    EndRow(),
};
constexpr KeywordLevel ConfigLevel = {true, FB_SKIP_LINES, TOK_CONFIG_MEMORY, ConfigRows};

constexpr KeywordEntry InfoRows[] = {
    Row("MEMORY\r\n", KA_MEMORY, Value(0)),              // TOK_MEM_TOTAL, TOK_MEM_LARGEST
    Row("STATUS\r\n", KA_STATUS, Value(0)),              // TOK_INFO_CODE, TOK_INFO_ONLINE
    Row("CONFIG\r\n", KA_DESCEND, Level(&ConfigLevel)),  // entries, one or more lines each
    EndRow(),
};
constexpr KeywordLevel InfoLevel = {false, FB_SKIP_REPLY, 0, InfoRows};

constexpr KeywordEntry EchoRows[] = {
    Row("MSSYNC", KA_NUMBER, Value(TOK_ECHO_SYNC)),  // our own ECHO, answered with its number
    EndRow(),
};
constexpr KeywordLevel EchoLevel = {true, FB_SKIP_REPLY, 0, EchoRows};

constexpr KeywordEntry JobRows[] = {
    Row("END\r\n", KA_CONST, Value(0)),                          // TOK_JOB_END, 0
    Row("NAME=\"MSJOB ", KA_NUMBER_LITERAL, Literal("\"\r\n")),  // TOK_JOB_ID
    EndRow(),
};
constexpr KeywordLevel JobLevel = {true, FB_SKIP_REPLY, TOK_JOB_END, JobRows};

constexpr KeywordEntry DeviceRows[] = {
    Row("CODE=", KA_NUMBER_LITERAL, Literal("\r\n")),  // TOK_DEVICE_CODE
    Row("DISPLAY=", KA_TEXT_LINE, Literal("\r\n")),    // TOK_DEVICE_DISPLAY
    Row("ONLINE=", KA_BOOL_LITERAL, Literal("\r\n")),  // TOK_DEVICE_ONLINE
    EndRow(),
};
constexpr KeywordLevel DeviceLevel = {true, FB_SKIP_REPLY, TOK_DEVICE_CODE, DeviceRows};

constexpr KeywordEntry UstatusRows[] = {
    // Row 1 makes 0x60001 current, which no row of DeviceLevel stores under.
    Row("JOB\r\n", KA_ID_DESCEND, Level(&JobLevel)),        // TOK_JOB_END
    Row("DEVICE\r\n", KA_ID_DESCEND, Level(&DeviceLevel)),  // (0x60001)
    EndRow(),
};
constexpr KeywordLevel UstatusLevel = {true, FB_SKIP_REPLY, TOK_JOB_END, UstatusRows};

constexpr KeywordEntry RootRows[] = {
    Row("INFO", KA_DESCEND, Level(&InfoLevel)),
    Row("ECHO", KA_DESCEND, Level(&EchoLevel)),
    Row("INQUIRE", KA_DESCEND, Level(&InquireLevel)),
    Row("USTATUS", KA_DESCEND, Level(&UstatusLevel)),
    EndRow(),
};
constexpr KeywordLevel RootLevel = {false, FB_SKIP_REPLY, 0, RootRows};

// The row of level whose keyword is text stores its token under id.
constexpr bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}
constexpr bool RowStoresUnder(const KeywordLevel& level, const char* text, uint32_t id) {
  for (uint32_t i = 0; level.keywords[i].text != NULL; ++i) {
    if (SameText(level.keywords[i].text, text)) return level.baseId + i == id;
  }
  return false;
}
static_assert(RowStoresUnder(InquireLevel, "INTRAY1SIZE\r\n", TOK_TRAY1_SIZE) &&
                  RowStoresUnder(InquireLevel, "INTRAY2SIZE\r\n", TOK_TRAY2_SIZE) &&
                  RowStoresUnder(InquireLevel, "INTRAY3SIZE\r\n", TOK_TRAY3_SIZE) &&
                  RowStoresUnder(InquireLevel, "INTRAY4SIZE\r\n", TOK_TRAY4_SIZE),
              "INQUIRE rows in tray order");
static_assert(RowStoresUnder(ConfigLevel, "MEMORY=", TOK_CONFIG_MEMORY) &&
                  RowStoresUnder(ConfigLevel, "MEMORY = ", TOK_CONFIG_MEMORY_SPACED),
              "INFO CONFIG rows");
static_assert(RowStoresUnder(JobLevel, "NAME=\"MSJOB ", TOK_JOB_ID), "USTATUS JOB rows");
static_assert(RowStoresUnder(DeviceLevel, "CODE=", TOK_DEVICE_CODE) &&
                  RowStoresUnder(DeviceLevel, "DISPLAY=", TOK_DEVICE_DISPLAY) &&
                  RowStoresUnder(DeviceLevel, "ONLINE=", TOK_DEVICE_ONLINE),
              "USTATUS DEVICE rows");
static_assert(RowStoresUnder(UstatusLevel, "JOB\r\n", TOK_JOB_END), "USTATUS rows");

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
