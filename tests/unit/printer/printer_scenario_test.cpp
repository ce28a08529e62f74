// Scenario text and what the printer does with it over (injected) time.
#include <string.h>

#include "printer_test_util.h"

namespace {

Scenario Parse(const char* text) {
  Scenario s;
  char error[SCENARIO_ERROR_ROOM];
  EXPECT_TRUE(ParseScenario(text, strlen(text), &s, error, sizeof(error))) << error;
  return s;
}

std::string ParseError(const char* text) {
  Scenario s;
  char error[SCENARIO_ERROR_ROOM];
  if (ParseScenario(text, strlen(text), &s, error, sizeof(error))) return "(accepted)";
  return error;
}

TEST(ScenarioText, StepsAndRemediesAreRead) {
  Scenario s = Parse(
      "# paper runs out\n"
      "after-page 3 paper-out tray=2 size=4   # in the middle\n"
      "remedy after=1500ms\r\n"
      "\n"
      "at 2s jam code=40024\n"
      "after-job 1 door-open\n"
      "remedy command");
  ASSERT_EQ(3u, s.count);
  EXPECT_EQ(TRIGGER_AFTER_PAGE, s.steps[0].trigger);
  EXPECT_EQ(3u, s.steps[0].when);
  EXPECT_EQ(COND_PAPER_OUT, s.steps[0].condition);
  EXPECT_EQ(2u, s.steps[0].tray);
  EXPECT_EQ(4u, s.steps[0].size);
  EXPECT_EQ(REMEDY_AFTER, s.steps[0].remedy);
  EXPECT_EQ(1500u, s.steps[0].remedyMs);
  EXPECT_EQ(2u, s.steps[0].line);
  EXPECT_EQ(TRIGGER_AT, s.steps[1].trigger);
  EXPECT_EQ(2000u, s.steps[1].when);
  EXPECT_EQ(40024u, s.steps[1].code);
  EXPECT_EQ(REMEDY_COMMAND, s.steps[1].remedy);
  EXPECT_EQ(TRIGGER_AFTER_JOB, s.steps[2].trigger);
}

TEST(ScenarioText, BadLinesAreNamedByNumber) {
  EXPECT_EQ("line 2: unknown condition 'papr-out'", ParseError("at 0ms jam\nat 1s papr-out\n"));
  EXPECT_EQ("line 1: unknown trigger 'before-page' (at, after-page, after-job or remedy)",
            ParseError("before-page 3 jam"));
  EXPECT_EQ("line 1: bad time '15' (write e.g. 1500ms or 2s)", ParseError("at 15 jam"));
  EXPECT_EQ("line 1: bad count 'three'", ParseError("after-page three jam"));
  EXPECT_EQ("line 1: bad option 'tray=0' (tray=1..9, size=0..99, code=10000..99999)",
            ParseError("after-page 1 paper-out tray=0"));
  EXPECT_EQ("line 1: bad option 'code=9999' (tray=1..9, size=0..99, code=10000..99999)",
            ParseError("at 1s service code=9999"));
  EXPECT_EQ("line 1: tray= and size= only go with paper-out and tray-empty",
            ParseError("at 1s jam tray=2"));
  EXPECT_EQ("line 1: remedy without a step before it", ParseError("remedy after=1s"));
  EXPECT_EQ("line 3: second remedy for the step of line 1",
            ParseError("at 1s jam\nremedy after=1s\nremedy command\n"));
  EXPECT_EQ("line 2: remedy needs 'after=<time>' or 'command'",
            ParseError("at 1s jam\nremedy soon\n"));
  EXPECT_EQ("line 2: unexpected 'now'", ParseError("at 1s jam\nremedy command now\n"));
  EXPECT_EQ("line 1: bad time '99999999s' (write e.g. 1500ms or 2s)",
            ParseError("at 99999999s jam"));
  std::string many;
  for (int i = 0; i < MAX_SCENARIO_STEPS + 1; i++) many += "at 1s jam\n";
  EXPECT_EQ("line 65: more than 64 steps", ParseError(many.c_str()));
  const char nul[] = "at 1s jam\nat 2s\0jam\n";
  Scenario s;
  char error[SCENARIO_ERROR_ROOM];
  EXPECT_FALSE(ParseScenario(nul, sizeof(nul) - 1, &s, error, sizeof(error)));
  EXPECT_STREQ("line 2: NUL byte in the text", error);
}

TEST(ScenarioText, ShippedScenariosParse) {
  const char* files[] = {QVL_PRINTER_SCENARIOS "/qvl3820-paper-out.txt",
                         QVL_PRINTER_SCENARIOS "/generic-jam-door.txt"};
  for (const char* path : files) {
    Scenario s;
    char error[SCENARIO_ERROR_ROOM + 256];
    EXPECT_TRUE(LoadScenarioFile(path, &s, error, sizeof(error))) << error;
    EXPECT_LT(0u, s.count) << path;
  }
  Scenario s;
  char error[SCENARIO_ERROR_ROOM + 256];
  EXPECT_FALSE(LoadScenarioFile(QVL_PRINTER_SCENARIOS "/no-such-file", &s, error, sizeof(error)));
}

TEST(ScenarioRun, PaperOutAfterPageNStopsTheJobUntilTheTimedRemedy) {
  Scenario s = Parse("after-page 2 paper-out tray=1 size=3\nremedy after=1500ms\n");
  TestPrinter t("QV-L3820", &s);
  t.Send(kMonitorPrefix + DriverJob(7, 4));
  EXPECT_EQ(2u, t.Counters().pagesPrinted) << "page 3 waits for paper";
  EXPECT_TRUE(SameBytes("CODE=41103\r\nDISPLAY=\"LOAD PAPER\"\r\n\f", t.Drain()));
  t.Advance(1499);
  EXPECT_EQ(41103u, t.Counters().statusCode);
  EXPECT_EQ(2u, t.Counters().pagesPrinted);
  t.Advance(1);
  EXPECT_EQ(4u, t.Counters().pagesPrinted);
  EXPECT_TRUE(SameBytes("CODE=10001\r\nDISPLAY=\"00 READY\"\r\n\f", t.Drain()));
}

TEST(ScenarioRun, EventsKeepTheirOwnTimesWhenTheClockJumps) {
  // Pages take 1000 ms; the fault after page 1 and its remedy 500 ms later fall between two
  // polls 10 s apart, and the log keeps the order and times in which they happened.
  Scenario s = Parse("after-page 1 jam\nremedy after=500ms\nat 5s toner-low\n");
  TestPrinter t("generic", &s, [](PrinterConfig* c) { c->pageMs = 1000; });
  t.Send(kMonitorPrefix + DriverJob(2, 3));
  t.Drain();
  t.Advance(10000);
  std::string timeline;
  for (uint32_t i = 0; i < EmulatedPrinterEventCount(t.printer); i++) {
    const PrinterEvent* e = EmulatedPrinterEventAt(t.printer, i);
    if (e->kind == EV_PAGE || e->kind == EV_CONDITION || e->kind == EV_REMEDY ||
        e->kind == EV_JOB_END) {
      timeline += std::to_string(e->timeMs) + " " + PrinterEventKindName(e->kind) + " " +
                  std::to_string(e->value) + "; ";
    }
  }
  EXPECT_EQ(
      "1000 page 1; 1000 condition 40022; 1500 remedy 40022; 2500 page 2; 3500 page 3; "
      "3500 job-end 3; 5000 condition 10006; ",
      timeline);
  // Both status changes reached the host, in order, with the job's end between them.
  std::string replies = t.Drain();
  size_t jam = replies.find("CODE=40022");
  size_t ready = replies.find("CODE=10001");
  size_t end = replies.find("END\r\nNAME=\"MSJOB 2\"");
  size_t toner = replies.find("CODE=10006");
  EXPECT_TRUE(jam < ready && ready < end && end < toner) << Escaped(replies);
}

TEST(ScenarioRun, StoppedPrinterHoldsInputAndTakesItOnRemedy) {
  Scenario s = Parse("after-page 1 door-open\n");
  TestPrinter t("generic", &s, [](PrinterConfig* c) { c->pageBufferPages = 2; });
  std::string job = DriverJob(1, 6);
  size_t taken = t.Send(job);
  EXPECT_LT(taken, job.size());
  EXPECT_EQ(3u, t.Counters().pagesReceived) << "one printed, two held";
  EXPECT_EQ(0u, t.Send(job.substr(taken))) << "nothing more while the door is open";
  EXPECT_EQ(1, t.CountEvents(EV_INPUT_HELD));
  EXPECT_EQ(1u, EmulatedPrinterRemedy(t.printer, COND_COUNT));
  EXPECT_EQ(job.size() - taken, t.Send(job.substr(taken)));
  EXPECT_EQ(6u, t.Counters().pagesPrinted);
  EXPECT_EQ(1u, t.Counters().jobsEnded);
}

TEST(ScenarioRun, CommandRemedyLeavesTimedOnesAlone) {
  Scenario s = Parse("at 0ms warming-up\nremedy after=3s\nat 0ms offline\n");
  TestPrinter t("generic", &s);
  EXPECT_EQ(40079u, t.Counters().statusCode);
  EXPECT_FALSE(t.Counters().online);
  EXPECT_EQ(1u, EmulatedPrinterRemedy(t.printer, COND_COUNT));
  EXPECT_EQ(10003u, t.Counters().statusCode);
  EXPECT_TRUE(t.Counters().online);
  t.Advance(3000);
  EXPECT_EQ(10001u, t.Counters().statusCode);
}

}  // namespace
