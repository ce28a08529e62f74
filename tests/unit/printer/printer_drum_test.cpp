// Drum counter: pages wear it, the model's reset command (and only that) resets it, wherever
// and however split it arrives.
#include "printer_test_util.h"

namespace {

const std::string kLongReset("\x1b\x1b\0ENG_CMD,0x54;", 16);
const std::string kShortReset("\x1b\x1b\0RE_PU;", 9);

TEST(PrinterDrum, EachModelObeysItsOwnCommandOnly) {
  struct Case {
    const char* model;
    const std::string* obeyed;
    const std::string* ignored;
  } cases[] = {{"QV-L3820", &kLongReset, &kShortReset}, {"QV-L3470", &kShortReset, &kLongReset}};
  for (const Case& c : cases) {
    TestPrinter t(c.model);
    t.Send(DriverJob(1, 3));
    ASSERT_EQ(3u, t.Counters().drumPages) << c.model;
    t.Send(*c.ignored);
    EXPECT_EQ(3u, t.Counters().drumPages) << c.model;
    EXPECT_EQ(0u, t.Counters().drumResets) << c.model;
    EXPECT_EQ(1u, t.Counters().enginesIgnored) << c.model;
    t.Send(*c.obeyed);
    EXPECT_EQ(0u, t.Counters().drumPages) << c.model;
    EXPECT_EQ(1u, t.Counters().drumResets) << c.model;
    EXPECT_EQ(0u, t.Counters().pagesReceived - t.Counters().pagesPrinted) << c.model;
  }
  TestPrinter generic;
  generic.Send(kLongReset + kShortReset);
  EXPECT_EQ(0u, generic.Counters().drumResets);
  EXPECT_EQ(2u, generic.Counters().enginesIgnored);
}

TEST(PrinterDrum, ResetIsRecognisedSplitAtEveryPointAndInEveryMode) {
  // After a job (PJL mode), inside page data, and right behind the monitor's prefix.
  const std::string contexts[] = {"", "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\npage data",
                                  kMonitorPrefix};
  for (const std::string& before : contexts) {
    for (size_t cut = 0; cut <= kLongReset.size(); cut++) {
      TestPrinter t("QV-L3820");
      t.Send(DriverJob(1, 1) + before + kLongReset.substr(0, cut));
      t.Send(kLongReset.substr(cut) + "@PJL INFO STATUS\r\n");
      ASSERT_EQ(1u, t.Counters().drumResets) << "cut " << cut << " after " << Escaped(before);
      ASSERT_EQ(0u, t.Counters().drumPages);
      // Nothing of the command counts as a page, and the printer goes on as before.
      EXPECT_EQ(1u, t.Counters().pagesReceived);
      if (before.empty()) {
        EXPECT_TRUE(SameBytes("CODE=10001\r\nDISPLAY=\"00 READY\"\r\n\f", t.Drain()));
      }
    }
  }
}

TEST(PrinterDrum, NearlyMatchingBytesAreNotAReset) {
  TestPrinter t("QV-L3470");
  t.Send(DriverJob(1, 2));
  t.Send(std::string("\x1b\x1b\0RE_PU", 8) + "X;");  // another command
  t.Send(std::string("\x1b\x1b\x01RE_PU;", 9));      // no NUL
  t.Send(std::string("\x1b\x1b\0re_pu;", 9));        // wrong case
  t.Send("\x1b\x1b\x1b" + std::string(40, 'A') + ";");
  EXPECT_EQ(0u, t.Counters().drumResets);
  EXPECT_EQ(2u, t.Counters().drumPages);
  // An escape that turns out to be data leaves a following reset intact.
  t.Send(std::string("\x1b\x1b\x1b\0RE_PU;", 10));
  EXPECT_EQ(1u, t.Counters().drumResets);
}

TEST(PrinterDrum, WornDrumWarnsAndTheResetClearsIt) {
  TestPrinter t("QV-L3820", nullptr, [](PrinterConfig* c) {
    c->drumLifePages = 5;
    c->drumWarnPages = 2;
  });
  t.Send(kMonitorPrefix + DriverJob(1, 3));
  EXPECT_TRUE(SameBytes("CODE=40558\r\nDISPLAY=\"DRUM NEAR END\"\r\n\f", t.Drain()));
  t.Send(DriverJob(2, 2));
  EXPECT_TRUE(SameBytes("CODE=40559\r\nDISPLAY=\"REPLACE DRUM\"\r\n\f", t.Drain()));
  EXPECT_EQ(5u, t.Counters().pagesPrinted) << "a worn drum warns but prints";
  t.Send(kLongReset);
  EXPECT_TRUE(SameBytes("CODE=10001\r\nDISPLAY=\"00 READY\"\r\n\f", t.Drain()));
}

}  // namespace
