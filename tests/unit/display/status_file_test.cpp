// The status message file reader: line pieces, joins, tags, numbers, the record rules and the
// restore on failure.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "status_entry_support.h"
#include "status_file.h"
#include "status_filter.h"
#include "temp_file.h"

namespace {

// Reads every line of the file at path as (result, text) pairs.
std::vector<std::pair<int, std::string>> ReadAllLines(const std::string& path) {
  std::vector<std::pair<int, std::string>> lines;
  static StatusFile file;
  if (!OpenStatusFile(&file, path.c_str())) return lines;
  char line[FILE_LINE_SIZE];
  for (int result; (result = ReadFileLine(&file, line)) != LINE_END;)
    lines.emplace_back(result, line);
  CloseStatusFile(&file);
  return lines;
}

TEST(ReadFileLine, LinesAcrossTheReadAheadBufferReadAsAnywhereElse) {
  // Lines of every length from 1 to 300 bytes, so that line ends and 255-byte pieces fall on
  // and around every position of the 4 KiB buffer's refills.
  std::string bytes;
  std::vector<std::pair<int, std::string>> expected;
  for (int length = 1; length <= 300; ++length) {
    std::string text(static_cast<size_t>(length), static_cast<char>('a' + length % 26));
    bytes += text + "\n";
    std::string rest = text + "\n";
    while (rest.size() > 255 && rest.find('\n') > 254) {
      expected.emplace_back(LINE_PIECE, rest.substr(0, 255));
      rest = rest.substr(255);
    }
    expected.emplace_back(LINE_WHOLE, rest.size() <= 2 ? "" : rest);
  }
  TempDir dir;
  EXPECT_EQ(ReadAllLines(dir.Write(bytes)), expected);
}

TEST(ReadFileLine, SplitsJoinsAndKeepsLineEnds) {
  const std::string long300(300, 'x');
  const std::string exact253(253, 'y');
  const std::string over254(254, 'z');
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::pair<int, std::string>> expected;
  } cases[] = {
      {"CR LF kept", "abc\r\n", {{LINE_WHOLE, "abc\r\n"}}},
      {"empty lines", "\r\n\n", {{LINE_WHOLE, ""}, {LINE_WHOLE, ""}}},
      {"one byte before LF is empty", "x\nyz\n", {{LINE_WHOLE, ""}, {LINE_WHOLE, "yz\n"}}},
      {"backslash before CR LF joins",
       "ab\\\r\ncd\r\n",
       {{LINE_WHOLE, "ab"}, {LINE_WHOLE, "cd\r\n"}}},
      // A file whose CRs were lost in a copy: the continuation still joins, never shows.
      {"backslash before lone LF joins", "ab\\\ncd\n", {{LINE_WHOLE, "ab"}, {LINE_WHOLE, "cd\n"}}},
      {"backslash two before lone LF", "a\\c\n", {{LINE_WHOLE, "a\\c\n"}}},
      {"300-byte line read as 255 + 45",
       long300 + "\r\n",
       {{LINE_PIECE, long300.substr(0, 255)}, {LINE_WHOLE, long300.substr(255) + "\r\n"}}},
      {"253 bytes and CR LF fit one read", exact253 + "\r\n", {{LINE_WHOLE, exact253 + "\r\n"}}},
      {"254 bytes and CR LF need two reads",
       over254 + "\r\n",
       {{LINE_PIECE, over254 + "\r"}, {LINE_WHOLE, ""}}},
      {"last line without line end",
       "one\r\nlast",
       {{LINE_WHOLE, "one\r\n"}, {LINE_PIECE, "last"}}},
      {"empty file", "", {}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    EXPECT_EQ(ReadAllLines(dir.Write(c.bytes)), c.expected) << c.name;
  }
}

TEST(ParseDecimal, ReadsLeadingDigitsUpToTheCap) {
  struct Case {
    const char* text;
    DWORD expected;
  } cases[] = {
      {"40021\r\n", 40021}, {"007", 7}, {"99999", 99999}, {"100000", 100000},
      {"1234567", 123456},  {" 5", 0},  {"-5", 0},        {"+5", 0},
      {"abc", 0},           {"", 0},    {"12ab34", 12},   {"9999999999", 999999},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.expected) << c.text;
}

TEST(TagMatches, IgnoresAsciiCaseOnlyAtTheStart) {
  EXPECT_TRUE(TagMatches("<CODE>\t1", "<CODE>"));
  EXPECT_TRUE(TagMatches("<code>\t1", "<CODE>"));
  EXPECT_TRUE(TagMatches("<CoDe>", "<CODE>"));
  EXPECT_FALSE(TagMatches(" <CODE>", "<CODE>"));
  EXPECT_FALSE(TagMatches("\t<CODE>", "<CODE>"));
  EXPECT_FALSE(TagMatches("<COD", "<CODE>"));
  EXPECT_FALSE(TagMatches("<GROP>", "<CODE>"));
}

TEST(IconTable, IndexesAndOutOfRange) {
  EXPECT_EQ(IconIdForIndex(6), 6000);
  EXPECT_EQ(IconIdForIndex(0), 6503);
  EXPECT_EQ(IconIdForIndex(11), 6007);
  EXPECT_EQ(IconIdForIndex(12), 0);
  EXPECT_EQ(IconIdForIndex(999999), 0);
}

// A record in the file format; text lines are given whole, with their own line ends.
std::string Record(const char* code, const char* group, const char* icon, const char* stat,
                   const char* rcvr) {
  return std::string("<CODE>\t") + code + "\r\n<GROP>\t" + group + "\r\n<ICON>\t" + icon +
         "\r\n<STAT>\t" + stat + "<RCVR>\t" + rcvr;
}
const char kEndLine[] = "<CODE>\t0\r\n";

void ExpectUnchanged(const StatusEntry& entry) {
  StatusEntry previous = PreviousStatusEntry();
  EXPECT_EQ(entry.code, previous.code);
  EXPECT_EQ(entry.group, previous.group);
  EXPECT_EQ(entry.iconId, previous.iconId);
  EXPECT_STREQ(entry.statusText, previous.statusText);
  EXPECT_STREQ(entry.recoveryText, previous.recoveryText);
}

TEST(LookupStatusEntry, ReadsTheDocumentedExample) {
  TempDir dir;
  std::string path = dir.Write(
      "# comment\r\n"
      "<CODE>\t40021\r\n"
      "<GROP>\t1\r\n"
      "<ICON>\t6\r\n"
      "<STAT>\tFront cover open\r\n"
      "\r\n"
      "<RCVR>\tClose the \\\r\n"
      "\tfront cover.\r\n"
      "<CODE>\t0\r\n");
  StatusEntry entry = PreviousStatusEntry();
  ASSERT_TRUE(LookupStatusEntry(path.c_str(), 40021, &entry));
  EXPECT_EQ(entry.code, 40021u);
  EXPECT_EQ(entry.group, 1);
  EXPECT_EQ(entry.iconId, 6000);
  EXPECT_STREQ(entry.statusText, "Front cover open\r\n");
  EXPECT_STREQ(entry.recoveryText, "Close the front cover.\r\n");
}

TEST(LookupStatusEntry, TagsAndSeparators) {
  TempDir dir;
  // Mixed-case tags count; the TAB after a tag is skipped.
  std::string mixed = dir.Write(
      "<code>\t30016\r\n<Grop>\t2\r\n<icon>\t0\r\n<sTaT>\tWarming up\r\n<rcvr>\tWait.\r\n" +
      std::string(kEndLine));
  StatusEntry entry = PreviousStatusEntry();
  ASSERT_TRUE(LookupStatusEntry(mixed.c_str(), 30016, &entry));
  EXPECT_EQ(entry.group, 2);
  EXPECT_EQ(entry.iconId, 6503);
  EXPECT_STREQ(entry.statusText, "Warming up\r\n");

  // A space after <CODE> reads as code 0: the search ends there, later records are lost.
  std::string spaced = dir.Write(Record("10003", "1", "2", "A\r\n", "B\r\n") +
                                 "<CODE> 40021\r\n<GROP>\t1\r\n<ICON>\t6\r\n<STAT>\tC\r\n"
                                 "<RCVR>\tD\r\n" +
                                 Record("41000", "1", "9", "E\r\n", "F\r\n") + kEndLine);
  entry = PreviousStatusEntry();
  EXPECT_FALSE(LookupStatusEntry(spaced.c_str(), 40021, &entry));
  ExpectUnchanged(entry);
  EXPECT_FALSE(LookupStatusEntry(spaced.c_str(), 41000, &entry));
  ExpectUnchanged(entry);
  // The record before the broken one is complete and found.
  ASSERT_TRUE(LookupStatusEntry(spaced.c_str(), 10003, &entry));
  EXPECT_STREQ(entry.recoveryText, "B\r\n");

  // Blanks or a TAB before a tag make a text line: here, recovery text of the record before.
  std::string blanks = dir.Write(Record("10003", "1", "2", "A\r\n", "B\r\n") +
                                 " <CODE>\t40021\r\n\t<GROP>\t1\r\n" + kEndLine);
  entry = PreviousStatusEntry();
  EXPECT_FALSE(LookupStatusEntry(blanks.c_str(), 40021, &entry));
  ASSERT_TRUE(LookupStatusEntry(blanks.c_str(), 10003, &entry));
  EXPECT_STREQ(entry.recoveryText, "B\r\n <CODE>\t40021\r\n<GROP>\t1\r\n");
}

TEST(LookupStatusEntry, RecordRunningIntoTheEndIsNotFound) {
  TempDir dir;
  std::string path = dir.Write(Record("10003", "1", "2", "A\r\n", "B\r\n") +
                               Record("40021", "1", "6", "C\r\n", "D\r\n"));
  StatusEntry entry = PreviousStatusEntry();
  EXPECT_FALSE(LookupStatusEntry(path.c_str(), 40021, &entry));
  ExpectUnchanged(entry);
  EXPECT_TRUE(LookupStatusEntry(path.c_str(), 10003, &entry));
}

TEST(LookupStatusEntry, MissingFileAndAbsentCodeRestoreTheEntry) {
  TempDir dir;
  StatusEntry entry = PreviousStatusEntry();
  EXPECT_EQ(SearchStatusFile(dir.Missing().c_str(), 10003, &entry), SEARCH_NO_FILE);
  entry = PreviousStatusEntry();
  EXPECT_FALSE(LookupStatusEntry(dir.Missing().c_str(), 10003, &entry));
  ExpectUnchanged(entry);

  // Records after the end line are never reached.
  std::string path = dir.Write(Record("10003", "1", "2", "A\r\n", "B\r\n") + kEndLine +
                               Record("40021", "1", "6", "C\r\n", "D\r\n") + kEndLine);
  EXPECT_FALSE(LookupStatusEntry(path.c_str(), 40021, &entry));
  ExpectUnchanged(entry);
  EXPECT_FALSE(LookupStatusEntry(path.c_str(), 99, &entry));
  ExpectUnchanged(entry);
}

TEST(LookupStatusEntry, TextLimitsDropWholeLines) {
  const std::string fifty = std::string(48, 's') + "\r\n";     // 50 bytes with CR LF
  const std::string twenty = std::string(18, 't') + "\r\n";    // 20 bytes
  const std::string line200 = std::string(198, 'r') + "\r\n";  // 200 bytes
  const std::string line255(255, 'L');                         // a whole 255-byte piece
  TempDir dir;
  std::string path = dir.Write("<CODE>\t40021\r\n<GROP>\t1\r\n<ICON>\t6\r\n<STAT>\t" + fifty +
                               fifty + twenty + "<RCVR>\t" + line200 + line200 + line200 + line255 +
                               "\r\n" + twenty + "# note\r\n" + "end\r\n" + kEndLine);
  StatusEntry entry = PreviousStatusEntry();
  ASSERT_TRUE(LookupStatusEntry(path.c_str(), 40021, &entry));
  // 50 + 50 would pass 79; the later 20-byte line still fits.
  EXPECT_EQ(std::string(entry.statusText), fifty + twenty);
  // 200 + 200 fit, a third 200 and the 255-byte piece do not; the comment is not text.
  EXPECT_EQ(std::string(entry.recoveryText), line200 + line200 + twenty + "end\r\n");
  EXPECT_LT(strlen(entry.recoveryText), static_cast<size_t>(RECOVERY_TEXT_SIZE));
}

TEST(LookupStatusEntry, LongUntaggedLineIsCopiedWhole) {
  // A 255-byte continuation line without a leading TAB fills a whole value.
  const std::string line255(255, 'Q');
  TempDir dir;
  std::string path =
      dir.Write(Record("40021", "1", "6", "S\r\n", "R\r\n") + line255 + "\r\n" + kEndLine);
  StatusEntry entry = PreviousStatusEntry();
  ASSERT_TRUE(LookupStatusEntry(path.c_str(), 40021, &entry));
  EXPECT_EQ(std::string(entry.recoveryText), "R\r\n" + line255);
}

TEST(LookupStatusEntry, IconNumbers) {
  TempDir dir;
  struct Case {
    const char* index;
    LONG iconId;
  } cases[] = {{"6", 6000}, {"0", 6503}, {"11", 6007}, {"12", 0}, {"99999", 0}, {"x", 6503}};
  for (const Case& c : cases) {
    std::string path = dir.Write(Record("40021", "1", c.index, "S\r\n", "R\r\n") + kEndLine);
    StatusEntry entry = PreviousStatusEntry();
    ASSERT_TRUE(LookupStatusEntry(path.c_str(), 40021, &entry)) << c.index;
    EXPECT_EQ(entry.iconId, c.iconId) << c.index;
  }
}

TEST(LookupStatusEntry, StateRuleOddities) {
  TempDir dir;
  // A text line right after the wanted <CODE> ends the record at once: texts empty, group and
  // icon those of the previous entry.
  std::string early =
      dir.Write("<CODE>\t40021\r\nno group here\r\n<GROP>\t1\r\n" + std::string(kEndLine));
  StatusEntry entry = PreviousStatusEntry();
  ASSERT_TRUE(LookupStatusEntry(early.c_str(), 40021, &entry));
  EXPECT_EQ(entry.code, 40021u);
  EXPECT_EQ(entry.group, 7);
  EXPECT_EQ(entry.iconId, 6005);
  EXPECT_STREQ(entry.statusText, "");
  EXPECT_STREQ(entry.recoveryText, "");

  // Lines before the first <CODE> are ignored; a line that is not <ICON> after <GROP> sets the
  // group again, and one that is not <STAT> after <ICON> sets the icon again.
  std::string odd = dir.Write(
      "header text\r\n<CODE>\t40021\r\n<GROP>\t1\r\n3\r\n<ICON>\t6\r\n"
      "9\r\n<STAT>\tS\r\n<RCVR>\tR\r\n" +
      std::string(kEndLine));
  entry = PreviousStatusEntry();
  ASSERT_TRUE(LookupStatusEntry(odd.c_str(), 40021, &entry));
  EXPECT_EQ(entry.group, 3);
  EXPECT_EQ(entry.iconId, 6004);
  EXPECT_STREQ(entry.statusText, "S\r\n");
}

}  // namespace

// The head of a file: its code page, and the paper text with the trays and sizes that a paper
// code 41xyy names; a code the table does not name keeps the record's text.
TEST(LoadStatusEntry, CodePageAndPaperNamesFromTheHead) {
  TempDir dir;
  const std::string record = Record("41000", "1", "9", "Paper out.\r\n", "Load paper.\r\n");
  std::string plain = dir.Write(record + kEndLine);
  StatusEntry entry = PreviousStatusEntry();
  ASSERT_TRUE(LoadStatusEntry(plain.c_str(), 41104, 41000, &entry));
  EXPECT_EQ(entry.codePage, static_cast<UINT>(STATUS_FILE_DEFAULT_CODE_PAGE));
  EXPECT_STREQ(entry.statusText, "Paper out.\r\n");

  std::string named = dir.Write(
      "# head\r\n<CPAG>\t65001\r\n<PAPR>\tLoad {size} into {tray}.\r\n<TRAY>\t1\tthe upper tray\r\n"
      "<SIZE>\t04\tiso_a4_210x297mm\tA4\r\n<SIZE>\t05\tiso_a5_148x210mm\r\n" +
      record + kEndLine);
  struct Case {
    DWORD code;
    const char* statusText;
  } cases[] = {
      {41104, "Load A4 into the upper tray.\r\n"},
      {41105, "Load iso_a5_148x210mm into the upper tray.\r\n"},  // no name: the media name
      {41204, "Paper out.\r\n"},                                  // tray 2 is not named
      {41106, "Paper out.\r\n"},                                  // size 06 is not named
      {41000, "Paper out.\r\n"},
  };
  for (const Case& c : cases) {
    entry = PreviousStatusEntry();
    ASSERT_TRUE(LoadStatusEntry(named.c_str(), c.code, 41000, &entry)) << c.code;
    EXPECT_EQ(entry.code, 41000u);
    EXPECT_EQ(entry.codePage, 65001u);
    EXPECT_STREQ(entry.statusText, c.statusText) << c.code;
    EXPECT_STREQ(entry.recoveryText, "Load paper.\r\n");
  }
  // A head line after the first record is text of that record, not a declaration.
  std::string late = dir.Write(record + "<CPAG>\t65001\r\n" + kEndLine);
  entry = PreviousStatusEntry();
  ASSERT_TRUE(LoadStatusEntry(late.c_str(), 41000, 41000, &entry));
  EXPECT_EQ(entry.codePage, static_cast<UINT>(STATUS_FILE_DEFAULT_CODE_PAGE));
  EXPECT_STREQ(entry.recoveryText, "Load paper.\r\n<CPAG>\t65001\r\n");
}
