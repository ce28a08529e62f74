// The PJL parser's keyword tree: which words may follow "@PJL", which words may follow those, and
// the action that reads the values of each reply kind. Constant data, checked at compile time;
// included only by pjl_parser.cpp.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "status_token.h"

namespace pjl {

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
  KA_NUMBER_PAIR = 10,    // literal: "n.m", n under base + row and m under the next id
  KA_COUNT = 11
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
    // The monitor's own job name (NT face): TOK_OWN_JOB_ID, TOK_OWN_JOB_RUN.
    Row("NAME=\"QVLLINK ", KA_NUMBER_PAIR, Literal("\"\r\n")),
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
static_assert(RowStoresUnder(JobLevel, "NAME=\"MSJOB ", TOK_JOB_ID) &&
                  RowStoresUnder(JobLevel, "NAME=\"QVLLINK ", TOK_OWN_JOB_ID) &&
                  TOK_OWN_JOB_RUN == TOK_OWN_JOB_ID + 1,
              "USTATUS JOB rows");
static_assert(RowStoresUnder(DeviceLevel, "CODE=", TOK_DEVICE_CODE) &&
                  RowStoresUnder(DeviceLevel, "DISPLAY=", TOK_DEVICE_DISPLAY) &&
                  RowStoresUnder(DeviceLevel, "ONLINE=", TOK_DEVICE_ONLINE),
              "USTATUS DEVICE rows");
static_assert(RowStoresUnder(UstatusLevel, "JOB\r\n", TOK_JOB_END), "USTATUS rows");

}  // namespace pjl
