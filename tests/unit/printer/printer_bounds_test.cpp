// A printer fed garbage keeps to its fixed sizes: no reply is ever cut, the queue and the log
// stay bounded, over-long lines are dropped whole, and the printer still answers afterwards.
#include <random>

#include "printer_test_util.h"

namespace {

TEST(PrinterBounds, UnreadRepliesAreDroppedWholeNeverCut) {
  TestPrinter t;
  std::string requests;
  for (int i = 0; i < 200; i++) requests += "@PJL INFO MEMORY\r\n";
  t.Send(requests);
  const std::string one = "@PJL INFO MEMORY\r\nTOTAL=1494416\r\nLARGEST=1494176\r\n\f";
  size_t pending = EmulatedPrinterPending(t.printer);
  EXPECT_LE(pending, 4096u);
  EXPECT_EQ(0u, pending % one.size()) << "only whole replies are queued";
  PrinterCounters c = t.Counters();
  EXPECT_EQ(200u, c.repliesSent + c.repliesDropped);
  EXPECT_LT(0u, c.repliesDropped);
  std::string all = t.Drain(100);
  for (size_t at = 0; at < all.size(); at += one.size()) {
    ASSERT_TRUE(SameBytes(one, all.substr(at, one.size())));
  }
  t.Send("@PJL ECHO again\r\n");
  EXPECT_EQ("@PJL ECHO again\r\n\f", t.Drain());
}

TEST(PrinterBounds, OverlongLinesAreIgnoredAndTheNextLineIsRead) {
  TestPrinter t;
  t.Send("@PJL ECHO " + std::string(100000, 'x') + "\r\n@PJL ECHO short\r\n");
  EXPECT_EQ("@PJL ECHO short\r\n\f", t.Drain());
  EXPECT_EQ(1, t.CountEvents(EV_PJL_IGNORED));
  // An echo cannot smuggle a form feed (a reply end) into its reply.
  t.Send(std::string("@PJL ECHO a\fb\0c\r\n", 18));
  EXPECT_EQ("@PJL ECHO a b c\r\n\f", t.Drain());
}

TEST(PrinterBounds, RandomBytesLeaveThePrinterWorking) {
  std::mt19937 random(12345);
  for (const char* model : {"generic", "QV-L3820"}) {
    TestPrinter t(model, nullptr, [](PrinterConfig* c) { c->pageBufferPages = 1000000; });
    std::string garbage;
    // Bytes that matter to the scanner, often: ESC, NUL, '@', '%', ';', line ends, FF.
    const char interesting[] = "\x1b\x00@%;\r\n\f-12345XPJL INFO ECHO USTATUS DEVICE=ON JOB EOJ";
    for (int i = 0; i < 200000; i++) {
      garbage += (random() % 2) ? interesting[random() % (sizeof(interesting) - 1)]
                                : static_cast<char>(random() % 256);
    }
    for (size_t at = 0; at < garbage.size(); at += 997) {
      size_t n = std::min<size_t>(997, garbage.size() - at);
      ASSERT_EQ(n, t.Send(garbage.substr(at, n)));
      t.Drain(13);
    }
    EXPECT_EQ(EVENT_LOG_ENTRIES, static_cast<int>(EmulatedPrinterEventCount(t.printer)));
    EXPECT_LT(0u, EmulatedPrinterEventsLost(t.printer));
    for (uint32_t i = 0; i < EmulatedPrinterEventCount(t.printer); i++) {
      for (const char* c = EmulatedPrinterEventAt(t.printer, i)->detail; *c; c++) {
        ASSERT_TRUE(*c >= 0x20 && *c < 0x7F) << "log text is printable";
      }
    }
    // Whatever state the garbage left, a UEL brings back PJL.
    t.Send("\r\n\x1b%-12345X@PJL INFO ID\r\n");
    std::string reply = t.Drain();
    std::string tail = "@PJL INFO ID\r\n\"" + std::string(model) + "\"\r\n\f";
    ASSERT_GE(reply.size(), tail.size()) << Escaped(reply);
    EXPECT_TRUE(SameBytes(tail, reply.substr(reply.size() - tail.size())));
  }
}

TEST(PrinterBounds, DiscardModeSkipsPagesButNotEscapes) {
  TestPrinter t("QV-L3470");
  EmulatedPrinterSetDiscard(t.printer, true);
  t.Send(DriverJob(1, 50) + std::string("\x1b\x1b\0RE_PU;", 9) + "@PJL INFO MEMORY\r\n");
  EXPECT_EQ(0u, t.Counters().pagesReceived);
  EXPECT_EQ(1u, t.Counters().drumResets);
  EXPECT_EQ("TOTAL = 1572864\r\n\f", t.Drain());
}

}  // namespace
