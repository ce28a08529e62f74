// The PJL reply parser: the replies printers send, where each primitive stops at a form feed or
// at the end of the text, and what a broken or oversized reply leaves for the next call.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "parser_test_support.h"
#include "reply_parsers.h"

namespace {

// One call on text; also checks that the parser left the text as it was.
ParserRun Parse(const std::string& text, uint32_t maxTokens = MAX_REPLY_TOKENS) {
  std::string copy = text;
  ParserRun run;
  memset(&run, 0xA5, sizeof run);
  const char* stop = nullptr;
  run.result = ParsePjlReply(copy.c_str(), maxTokens, run.tokens, &run.count, &stop);
  run.stop = static_cast<size_t>(stop - copy.c_str());
  EXPECT_TRUE(SameBytes(copy.c_str(), text.c_str(), text.size() + 1)) << "the text was written";
  return run;
}

const char kDeviceReply[] =
    "@PJL USTATUS DEVICE\r\nCODE=10001\r\nDISPLAY=00 READY\r\nONLINE=TRUE\r\n\f";

// The replies as printers send them: every one ends well, at its form feed.
TEST(PjlParser, WorkedReplies) {
  struct Case {
    const char* text;
    std::initializer_list<StatusToken> tokens;
  } cases[] = {
      {kDeviceReply, {{TOK_DEVICE_CODE, 10001}, {TOK_DEVICE_DISPLAY, 41}, {TOK_DEVICE_ONLINE, 1}}},
      {"@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 17\"\r\nPAGES=2\r\n\f",
       {{TOK_JOB_END, 0}, {TOK_JOB_ID, 17}}},
      {"@PJL INFO MEMORY\r\nTOTAL=1048576\r\nLARGEST=524288\r\n\f",
       {{TOK_MEM_TOTAL, 1048576}, {TOK_MEM_LARGEST, 524288}}},
      {"@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=READY\r\nONLINE=FALSE\r\n\f",
       {{TOK_INFO_CODE, 10001}, {TOK_INFO_ONLINE, 0}}},
      {"@PJL INFO CONFIG\r\nIN TRAYS [1 ENUMERATED]\r\n\tINTRAY1\r\nMEMORY=2097152\r\n"
       "DISPLAY LINES=1\r\n\f",
       {{TOK_CONFIG_MEMORY, 2097152}}},
      {"@PJL INFO CONFIG\r\nMEMORY = 4194304\r\n\f", {{TOK_CONFIG_MEMORY_SPACED, 4194304}}},
      {"@PJL ECHO MSSYNC 42\r\n\f", {{TOK_ECHO_SYNC, 42}}},
      {"@PJL INQUIRE INTRAY2SIZE\r\nA4\r\n\f", {{TOK_TRAY2_SIZE, 9}}},
      {"@PJL INQUIRE INTRAY4SIZE\r\nB5\r\n\f", {{TOK_TRAY4_SIZE, 34}}},
      {"@PJL INQUIRE INTRAY1SIZE\r\nLETTERHEAD\r\n\f", {{TOK_TRAY1_SIZE, 1}}},  // prefix match
      {"@PJL INQUIRE INTRAY1SIZE\r\n\"?\"\r\n\f", {}},  // unknown paper: skipped
      {"@PJL USTATUS PAGE\r\nPAGE=3\r\n\f", {}},
      {"@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 17\"\r\n\f", {}},  // only END lines count
      // The NT monitor's own job: the job id and the run, in the name's order.
      {"@PJL USTATUS JOB\r\nEND\r\nNAME=\"QVLLINK 17.3\"\r\nPAGES=2\r\n\f",
       {{TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 17}, {TOK_OWN_JOB_RUN, 3}}},
      {"@PJL USTATUS JOB\r\nSTART\r\nNAME=\"QVLLINK 17.3\"\r\n\f", {}},
      {"@PJL USTATUS JOB\r\nEND\r\nNAME=\"QVLLINKS 17.3\"\r\n\f", {{TOK_JOB_END, 0}}},  // not ours
      {"@PJL USTATUS\f", {}},
      {"\r\n@PJL ECHO 17:45:22.5 05-17-92\r\n\f", {}},  // noise before, foreign ECHO
      // The real printer's INFO CONFIG: unindented option lines, each skipped on its own.
      {"@PJL INFO CONFIG\r\nIN TRAYS [1 ENUMERATED]\r\nINTRAY1 PC\r\nINTRAY2 LC\r\n"
       "OUT TRAYS [2 ENUMERATED]\r\nNORMAL FACEDOWN\r\nMEMORY=2097152\r\nDISPLAY LINES=1\r\n"
       "DISPLAY CHARACTER SIZE=16\r\n\f",
       {{TOK_CONFIG_MEMORY, 2097152}}},
      {"@PJL USTATUS DEVICE\r\nCODE=   5\r\n\f", {{TOK_DEVICE_CODE, 5}}},        // any size, spaces
      {"@PJL USTATUS DEVICE\r\nCODE=4294967297\r\n\f", {{TOK_DEVICE_CODE, 1}}},  // wraps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ParserRun run = Parse(c.text);
    EXPECT_EQ(DescribeResult(PARSE_DONE), DescribeResult(run.result));
    EXPECT_EQ(strlen(c.text), run.stop);
    EXPECT_TRUE(SameTokens(run.tokens, run.count, c.tokens));
  }
}

// Where each primitive stops at a form feed, at the end of the text, or at a wrong character.
TEST(PjlParser, StopsOfBrokenAndIncompleteReplies) {
  struct Case {
    const char* text;
    uint32_t result;
    size_t stop;
    std::initializer_list<StatusToken> tokens;
  } cases[] = {
      {"", PARSE_NO_PJL, 0, {}},
      {"noise", PARSE_NO_PJL, 5, {}},
      {"@PJ", PARSE_NO_PJL, 3, {}},  // a header still arriving is passed over
      {"\f@PJL USTATUS\f", PARSE_NO_PJL, 1, {}},
      // FindText never looks back: a second @ restarts the needle, CR CR LF is no line end.
      {"@@PJL USTATUS\f", PARSE_NO_PJL, 14, {}},
      {"@PJL ECHO MSSYNC 42\r\r\n\f", PARSE_BAD, 23, {{TOK_ECHO_SYNC, 42}}},
      // SkipSpaces: a form feed where the level wants a keyword.
      {"@PJL   \f", PARSE_BAD, 8, {}},
      {"@PJL INFO \f", PARSE_BAD, 11, {}},
      {"@PJL   ", PARSE_MORE, 7, {}},
      // MatchKeyword at the end of the text matches nothing; the reply is skipped as far as it
      // goes.
      {"@PJL USTA", PARSE_MORE, 9, {}},
      // SkipToFormFeed.
      {"@PJL DEFAULT X=1\r\n", PARSE_MORE, 18, {}},
      // MatchLiteral: the end of text, a form feed (stop at it), another character.
      {"@PJL INFO MEMORY\r\n", PARSE_MORE, 18, {}},
      {"@PJL INFO MEMORY\r\nTOT", PARSE_MORE, 21, {}},
      {"@PJL INFO MEMORY\r\n\f", PARSE_BAD, 18, {}},
      {"@PJL INFO MEMORY\r\nTOTAL = 1\r\n\f", PARSE_BAD, 23, {}},
      // ReadNumber: spaces then digits; a letter; digits up to the end; a form feed.
      {"@PJL USTATUS DEVICE\r\nCODE=X\r\n\f", PARSE_BAD, 26, {}},
      {"@PJL USTATUS DEVICE\r\nCODE=100", PARSE_MORE, 29, {}},
      {"@PJL USTATUS DEVICE\r\nCODE= \f", PARSE_BAD, 28, {}},
      // Booleans are prefix matches: TR at the end is no word, TRUEX is TRUE.
      {"@PJL USTATUS DEVICE\r\nONLINE=TR", PARSE_BAD, 28, {}},
      {"@PJL USTATUS DEVICE\r\nONLINE=TRUEX\r\n\f", PARSE_BAD, 32, {{TOK_DEVICE_ONLINE, 1}}},
      {"@PJL USTATUS DEVICE\r\nONLINE=MAYBE\r\n\f", PARSE_BAD, 28, {}},
      // SkipLine: a form feed inside the line is where no reply may end.
      {"@PJL USTATUS DEVICE\r\nDISPLAY=00 READY\f", PARSE_BAD, 38, {{TOK_DEVICE_DISPLAY, 29}}},
      {"@PJL INFO CONFIG\r\nIN TRAYS\f", PARSE_BAD, 27, {}},
      {"@PJL INFO CONFIG\r\nIN TRAYS\r\n\tINTRAY1", PARSE_MORE, 36, {}},
      // FinishLine and EndOfReply: the line must be the reply's last.
      {"@PJL ECHO MSSYNC 42 junk\f", PARSE_BAD, 25, {{TOK_ECHO_SYNC, 42}}},
      {"@PJL ECHO MSSYNC 42 junk", PARSE_MORE, 24, {{TOK_ECHO_SYNC, 42}}},
      {"@PJL ECHO MSSYNC 42\r\n", PARSE_MORE, 21, {{TOK_ECHO_SYNC, 42}}},
      {"@PJL ECHO MSSYNC 42\r\nMORE\r\n\f", PARSE_BAD, 21, {{TOK_ECHO_SYNC, 42}}},
      {"@PJL INFO MEMORY\r\nTOTAL=1\r\nLARGEST=1\r\nX\r\n\f",
       PARSE_BAD,
       38,
       {{TOK_MEM_TOTAL, 1}, {TOK_MEM_LARGEST, 1}}},
      {"@PJL INQUIRE INTRAY1SIZE\r\nA4\r\nX\f", PARSE_BAD, 30, {{TOK_TRAY1_SIZE, 9}}},
      {"@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=X\r\nONLINE=TRUE\r\nX\r\n\f",
       PARSE_BAD,
       54,
       {{TOK_INFO_CODE, 10001}, {TOK_INFO_ONLINE, 1}}},
      // Text between the job number and its quote; a unit after a memory size.
      {"@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 17 x\"\r\n\f",
       PARSE_BAD,
       37,
       {{TOK_JOB_END, 0}, {TOK_JOB_ID, 17}}},
      {"@PJL INFO CONFIG\r\nMEMORY=2097152KB\r\n\f", PARSE_BAD, 32, {{TOK_CONFIG_MEMORY, 2097152}}},
      // The own job's name broken after its id, or cut where the run would be.
      {"@PJL USTATUS JOB\r\nEND\r\nNAME=\"QVLLINK 17\"\r\n\f",
       PARSE_BAD,
       39,
       {{TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 17}}},
      {"@PJL USTATUS JOB\r\nEND\r\nNAME=\"QVLLINK 17.",
       PARSE_MORE,
       40,
       {{TOK_JOB_END, 0}, {TOK_OWN_JOB_ID, 17}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ParserRun run = Parse(c.text);
    ExpectRun(run, c.result, c.stop, c.tokens);
  }
}

TEST(PjlParser, FullArrayStopsRightAfterTheItemThatDidNotFit) {
  ParserRun two = Parse(kDeviceReply, 2);
  ExpectRun(two, PARSE_FULL, 62, {{TOK_DEVICE_CODE, 10001}, {TOK_DEVICE_DISPLAY, 41}});
  EXPECT_EQ(0, memcmp(kDeviceReply + 58, "TRUE", 4));  // stop just after the word

  ParserRun none = Parse(kDeviceReply, 0);
  ExpectRun(none, PARSE_FULL, 31, {});  // just after the number 10001
  EXPECT_EQ(0, memcmp(kDeviceReply + 26, "10001", 5));

  ParserRun job = Parse("@PJL USTATUS JOB\r\nEND\r\n\f", 0);
  ExpectRun(job, PARSE_FULL, 23, {});  // just after the END keyword
}

// The status thread's way: each call at the last stop, so one text holds several replies and
// a broken reply costs a second call that ends at its form feed.
TEST(PjlParser, SuccessiveCallsWalkThroughTheText) {
  const std::string text = std::string("@PJL USTATUS DEVICE\r\nCODE=40021\r\n\f") +
                           "@PJL USTATUS DEVICE\r\nCODE=X\r\nONLINE=TRUE\r\n\f" + kDeviceReply;
  struct Step {
    uint32_t result;
    size_t stop;
  } steps[] = {{PARSE_DONE, 34}, {PARSE_BAD, 60}, {PARSE_NO_PJL, 77}, {PARSE_DONE, 142}};
  size_t at = 0;
  for (const Step& s : steps) {
    ParserRun run = Parse(text.substr(at));
    EXPECT_EQ(DescribeResult(s.result), DescribeResult(run.result)) << "call at " << at;
    EXPECT_EQ(s.stop, at + run.stop) << "call at " << at;
    if (at == 77) {
      // The display position counts from the start of the text given to the call.
      EXPECT_TRUE(
          SameTokens(run.tokens, run.count,
                     {{TOK_DEVICE_CODE, 10001}, {TOK_DEVICE_DISPLAY, 41}, {TOK_DEVICE_ONLINE, 1}}));
    }
    at += run.stop;
  }
  EXPECT_EQ(text.size(), at);
}

}  // namespace
