// What the display program does with each incoming code: the filter, the exit rule, the
// display decision, the OK button and the confirmed drum reset.
#include <gtest/gtest.h>

#include <string>

#include "status_filter.h"
#include "temp_file.h"

namespace {

// One record per code the tests use; 20100 has group 0, 50554 and 40557 have no record.
std::string TestFile() {
  const char* records[][2] = {
      {"10001", "1"}, {"10003", "1"}, {"11100", "1"}, {"11999", "1"},
      {"20000", "1"}, {"20100", "0"}, {"30016", "1"}, {"30017", "1"},
      {"40000", "1"}, {"40021", "1"}, {"40022", "1"}, {"40025", "1"},
      {"40556", "1"}, {"40558", "1"}, {"40559", "1"}, {"41000", "2"},
  };
  std::string file;
  for (const auto& r : records) {
    file += std::string("<CODE>\t") + r[0] + "\r\n<GROP>\t" + r[1] + "\r\n<ICON>\t6\r\n<STAT>\t" +
            r[0] + "\r\n<RCVR>\tdo this\r\n";
  }
  return file + "<CODE>\t0\r\n";
}

BOOL g_drumPending;
BOOL DrumPending(void) {
  return g_drumPending;
}

struct Row {
  const char* name;
  DWORD shownCode;  // entry on display
  LONG shownGroup;
  DWORD stickyCode;  // filter state before
  BOOL drumCodeShown;
  BOOL model3470;
  BOOL drumPending;  // the reset event is signalled
  DWORD incoming;
  CodeOutcome outcome;
  DWORD currentAfter;  // code of the current entry afterwards
  DWORD stickyAfter;
  BOOL drumShownAfter;
};

// The table of what the user sees, by incoming code, one row per condition.
const Row kRows[] = {
    {"below range", 20000, 1, 0, 0, 0, 0, 10000, CODE_IGNORED, 20000, 0, 0},
    {"above range", 20000, 1, 0, 0, 0, 0, 50555, CODE_IGNORED, 20000, 0, 0},
    {"upper bound passes, no record", 20000, 1, 0, 0, 0, 0, 50554, CODE_NOT_FOUND, 20000, 0, 0},
    {"3470 10001 after a group-1 entry", 20000, 1, 40556, 0, 1, 0, 10001, CODE_IGNORED, 20000,
     40556, 0},
    {"3470 10001 after 30016 ends", 30016, 1, 0, 0, 1, 0, 10001, CODE_END_PROGRAM, 10001, 0, 0},
    {"3470 10001 after 30017 ends", 30017, 1, 0, 0, 1, 0, 10001, CODE_END_PROGRAM, 10001, 0, 0},
    {"3470 10001 after a group-2 entry ends", 41000, 2, 0, 0, 1, 0, 10001, CODE_END_PROGRAM, 10001,
     0, 0},
    {"other model 10001 after a group-1 entry ends", 20000, 1, 0, 0, 0, 0, 10001, CODE_END_PROGRAM,
     10001, 0, 0},
    {"10001 brings the sticky code back", 20000, 1, 40556, 0, 0, 0, 10001, CODE_ENTRY_READY, 40556,
     40556, 0},
    {"10001 with the sticky entry on display", 40556, 1, 40556, 0, 0, 0, 10001, CODE_UNCHANGED,
     40556, 40556, 0},
    {"10001 with a drum entry, nothing held", 40558, 1, 0, 0, 0, 0, 10001, CODE_IGNORED, 40558, 0,
     0},
    {"10003 brings the sticky code back", 20000, 1, 40559, 0, 0, 0, 10003, CODE_ENTRY_READY, 40559,
     40559, 0},
    {"10003 with 40559 on display, nothing held", 40559, 1, 0, 0, 0, 0, 10003, CODE_IGNORED, 40559,
     0, 0},
    {"10003 otherwise is shown", 20000, 1, 0, 0, 0, 0, 10003, CODE_ENTRY_READY, 10003, 0, 0},
    {"3470 40000 clears the drum flag and ends", 20000, 1, 0, 1, 1, 0, 40000, CODE_END_PROGRAM,
     40000, 0, 0},
    {"3470 40000 clears the drum flag, sticky returns", 20000, 1, 40558, 1, 1, 0, 40000,
     CODE_ENTRY_READY, 40558, 40558, 0},
    {"other model 40000 keeps the drum flag", 20000, 1, 40558, 1, 0, 0, 40000, CODE_ENTRY_READY,
     40558, 40558, 1},
    {"40000 with 40556 on display, nothing held", 40556, 1, 0, 0, 0, 0, 40000, CODE_IGNORED, 40556,
     0, 0},
    {"40556 becomes sticky", 20000, 1, 0, 0, 0, 0, 40556, CODE_ENTRY_READY, 40556, 40556, 0},
    {"40558 while a reset is under way", 20000, 1, 0, 0, 0, 1, 40558, CODE_IGNORED, 20000, 0, 0},
    {"3470 40559 after a drum code", 20000, 1, 40558, 1, 1, 0, 40559, CODE_IGNORED, 20000, 40558,
     1},
    {"3470 40558 becomes sticky, flag set", 20000, 1, 0, 0, 1, 0, 40558, CODE_ENTRY_READY, 40558,
     40558, 1},
    {"other model each drum code is shown", 40558, 1, 40558, 0, 0, 0, 40559, CODE_ENTRY_READY,
     40559, 40559, 0},
    {"code without a record", 20000, 1, 0, 0, 0, 0, 40557, CODE_NOT_FOUND, 20000, 0, 0},
    {"41234 folds to 41000", 20000, 1, 0, 0, 0, 0, 41234, CODE_ENTRY_READY, 41000, 0, 0},
    {"41500 after 41000 changes nothing", 41000, 2, 0, 0, 0, 0, 41500, CODE_UNCHANGED, 41000, 0, 0},
    {"41999 folds, 42000 does not", 41000, 2, 0, 0, 0, 0, 42000, CODE_NOT_FOUND, 41000, 0, 0},
    {"same code changes nothing", 40022, 1, 0, 0, 0, 0, 40022, CODE_UNCHANGED, 40022, 0, 0},
    {"group-0 entry is loaded", 20000, 1, 0, 0, 0, 0, 20100, CODE_ENTRY_READY, 20100, 0, 0},
};

TEST(ProcessStatusCode, WhatTheUserSeesByIncomingCode) {
  TempDir dir;
  std::string path = dir.Write(TestFile());
  for (const Row& row : kRows) {
    DisplayState state = {};
    // The entry on display as the program loaded it (its texts too, where the file has it).
    LookupStatusEntry(path.c_str(), row.shownCode, &state.current);
    state.current.code = row.shownCode;
    state.current.group = row.shownGroup;
    state.filter.stickyCode = row.stickyCode;
    state.filter.drumCodeShown = row.drumCodeShown;
    g_drumPending = row.drumPending;
    CodeOutcome outcome =
        ProcessStatusCode(&state, row.incoming, row.model3470, path.c_str(), DrumPending);
    EXPECT_EQ(outcome, row.outcome) << row.name;
    EXPECT_EQ(state.current.code, row.currentAfter) << row.name;
    EXPECT_EQ(state.filter.stickyCode, row.stickyAfter) << row.name;
    EXPECT_EQ(state.filter.drumCodeShown, row.drumShownAfter) << row.name;
  }
}

TEST(ProcessStatusCode, Model3470ShowsOneDrumCodeUntil40000) {
  TempDir dir;
  std::string path = dir.Write(TestFile());
  DisplayState state = {};
  g_drumPending = FALSE;
  EXPECT_EQ(ProcessStatusCode(&state, 40558, TRUE, path.c_str(), DrumPending), CODE_ENTRY_READY);
  EXPECT_EQ(ProcessStatusCode(&state, 20000, TRUE, path.c_str(), DrumPending), CODE_ENTRY_READY);
  EXPECT_EQ(ProcessStatusCode(&state, 40558, TRUE, path.c_str(), DrumPending), CODE_IGNORED);
  EXPECT_EQ(ProcessStatusCode(&state, 40559, TRUE, path.c_str(), DrumPending), CODE_IGNORED);
  // 40000 clears the flag and, with 40558 held, brings it back.
  EXPECT_EQ(ProcessStatusCode(&state, 40000, TRUE, path.c_str(), DrumPending), CODE_ENTRY_READY);
  EXPECT_EQ(state.current.code, 40558u);
  EXPECT_EQ(ProcessStatusCode(&state, 40559, TRUE, path.c_str(), DrumPending), CODE_ENTRY_READY);
}

// Paper codes share the 41000 entry; one naming another tray or size is a new entry to show,
// one that would show the same text is not.
TEST(ProcessStatusCode, PaperCodesOfAnotherTrayOrSizeChangeTheText) {
  TempDir dir;
  const std::string path = dir.Write(
      "<PAPR>\tLoad {size} into {tray}.\r\n<TRAY>\t1\tthe tray\r\n<TRAY>\t2\tthe feeder\r\n"
      "<SIZE>\t04\tiso_a4_210x297mm\tA4\r\n" +
      TestFile());
  DisplayState state = {};
  struct Step {
    DWORD incoming;
    CodeOutcome outcome;
    const char* statusText;
  } steps[] = {
      {41104, CODE_ENTRY_READY, "Load A4 into the tray.\r\n"},
      {41104, CODE_UNCHANGED, "Load A4 into the tray.\r\n"},
      {41204, CODE_ENTRY_READY, "Load A4 into the feeder.\r\n"},
      {41999, CODE_ENTRY_READY, "41000\r\n"},  // names neither: the record's own text
      {41000, CODE_UNCHANGED, "41000\r\n"},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(ProcessStatusCode(&state, step.incoming, FALSE, path.c_str(), DrumPending),
              step.outcome)
        << step.incoming;
    EXPECT_EQ(state.current.code, 41000u);
    EXPECT_STREQ(state.current.statusText, step.statusText) << step.incoming;
  }
}

TEST(ProcessStatusCode, NoFileKeepsTheEntry) {
  DisplayState state = {};
  state.current.code = 20000;
  EXPECT_EQ(ProcessStatusCode(&state, 40022, FALSE, NULL, DrumPending), CODE_NOT_FOUND);
  EXPECT_EQ(state.current.code, 20000u);
}

TEST(DecideDisplay, ByOpenDialogsAndGroup) {
  struct Case {
    BOOL status, recovery;
    LONG group;
    DisplayAction action;
  } cases[] = {
      {0, 0, 0, DISPLAY_NOTHING},     {0, 0, 1, DISPLAY_OPEN_STATUS},
      {1, 0, 0, DISPLAY_END_PROGRAM}, {1, 0, 2, DISPLAY_REPAINT_STATUS},
      {0, 1, 0, DISPLAY_END_PROGRAM}, {0, 1, 1, DISPLAY_REPAINT_RECOVERY},
      {1, 1, 0, DISPLAY_END_PROGRAM}, {1, 1, 1, DISPLAY_END_PROGRAM},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideDisplay(c.status, c.recovery, c.group, 20000, FALSE), c.action)
        << c.status << c.recovery << c.group;
  }
}

TEST(DecideDisplay, PrintersFolderHoldsBackSomeCodes) {
  struct Case {
    DWORD code;
    BOOL held;
  } cases[] = {{11099, 0}, {11100, 1}, {11999, 1}, {12000, 0}, {40020, 0}, {40021, 1},
               {40024, 1}, {40025, 0}, {40999, 0}, {41000, 1}, {41999, 1}, {42000, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(HeldByPrintersFolder(c.code, TRUE), c.held) << c.code;
    EXPECT_FALSE(HeldByPrintersFolder(c.code, FALSE)) << c.code;
    EXPECT_EQ(DecideDisplay(FALSE, FALSE, 1, c.code, TRUE),
              c.held ? DISPLAY_NOTHING : DISPLAY_OPEN_STATUS)
        << c.code;
    EXPECT_EQ(DecideDisplay(FALSE, FALSE, 1, c.code, FALSE), DISPLAY_OPEN_STATUS) << c.code;
  }
  // The folder holds nothing back from an open dialog.
  EXPECT_EQ(DecideDisplay(TRUE, FALSE, 1, 40022, TRUE), DISPLAY_REPAINT_STATUS);
}

TEST(DecideDisplay, FolderOpenThenAnotherCode) {
  TempDir dir;
  std::string path = dir.Write(TestFile());
  DisplayState state = {};
  ASSERT_EQ(ProcessStatusCode(&state, 40022, FALSE, path.c_str(), DrumPending), CODE_ENTRY_READY);
  EXPECT_EQ(DecideDisplay(FALSE, FALSE, state.current.group, state.current.code, TRUE),
            DISPLAY_NOTHING);
  ASSERT_EQ(ProcessStatusCode(&state, 40025, FALSE, path.c_str(), DrumPending), CODE_ENTRY_READY);
  EXPECT_EQ(DecideDisplay(FALSE, FALSE, state.current.group, state.current.code, TRUE),
            DISPLAY_OPEN_STATUS);
  EXPECT_EQ(state.current.code, 40025u);
}

TEST(DecideOkButton, EndsOrBringsBackTheHeldCode) {
  TempDir dir;
  std::string path = dir.Write(TestFile());
  struct Case {
    const char* name;
    DWORD shown;
    DWORD sticky;
    OkAction action;
    DWORD currentAfter;
    DWORD stickyAfter;
  } cases[] = {
      {"40556 on display", 40556, 40556, OK_END_PROGRAM, 40556, 0},
      {"40558 on display", 40558, 40558, OK_END_PROGRAM, 40558, 0},
      {"40559 on display", 40559, 40558, OK_END_PROGRAM, 40559, 0},
      {"nothing held", 20000, 0, OK_END_PROGRAM, 20000, 0},
      {"40558 held", 20000, 40558, OK_SHOW_STICKY, 40558, 40558},
      {"held code without record", 20000, 40557, OK_END_PROGRAM, 20000, 40557},
  };
  for (const Case& c : cases) {
    DisplayState state = {};
    state.current.code = c.shown;
    state.current.group = 1;
    state.filter.stickyCode = c.sticky;
    EXPECT_EQ(DecideOkButton(&state, path.c_str()), c.action) << c.name;
    EXPECT_EQ(state.current.code, c.currentAfter) << c.name;
    EXPECT_EQ(state.filter.stickyCode, c.stickyAfter) << c.name;
  }
  // Then OK on the returned 40558 ends the program.
  DisplayState state = {};
  state.current.code = 20000;
  state.filter.stickyCode = 40558;
  ASSERT_EQ(DecideOkButton(&state, path.c_str()), OK_SHOW_STICKY);
  EXPECT_EQ(DecideOkButton(&state, path.c_str()), OK_END_PROGRAM);
}

TEST(ApplyDrumResetConfirmed, ClosesOnlyForDrumCodes) {
  TempDir dir;
  std::string path = dir.Write(TestFile());
  DisplayState state = {};
  state.current.code = 40558;
  state.current.group = 1;
  state.filter = {40558, TRUE};
  EXPECT_TRUE(ApplyDrumResetConfirmed(&state));
  EXPECT_EQ(state.current.code, 0u);
  EXPECT_EQ(state.current.group, 0);
  EXPECT_EQ(state.filter.stickyCode, 0u);
  EXPECT_FALSE(state.filter.drumCodeShown);
  // Until the monitor has sent the reset, the event is signalled and 40558 is ignored.
  g_drumPending = TRUE;
  EXPECT_EQ(ProcessStatusCode(&state, 40558, TRUE, path.c_str(), DrumPending), CODE_IGNORED);
  g_drumPending = FALSE;
  EXPECT_EQ(ProcessStatusCode(&state, 40558, TRUE, path.c_str(), DrumPending), CODE_ENTRY_READY);

  state.current.code = 20000;
  state.current.group = 1;
  state.filter = {40556, TRUE};
  EXPECT_FALSE(ApplyDrumResetConfirmed(&state));
  EXPECT_EQ(state.current.code, 20000u);
  EXPECT_EQ(state.filter.stickyCode, 0u);
  EXPECT_FALSE(state.filter.drumCodeShown);
}

}  // namespace
