// What the emulated printer answers, byte for byte, in both dialects: the job reports the
// monitor waits for, device status, INFO and ECHO replies, and reads in pieces.
#include "printer_test_util.h"

namespace {

const std::string kReadyDevice =
    "@PJL USTATUS DEVICE\r\nCODE=10001\r\nDISPLAY=\"00 READY\"\r\nONLINE=TRUE\r\n\f";

TEST(PrinterJob, PrefixAndDriverJobGiveStartAndEndReportsWithTheJobNumber) {
  TestPrinter t;
  EmulatedPrinterJobStart(t.printer, 17);
  std::string job = kMonitorPrefix + DriverJob(17, 2);
  ASSERT_EQ(job.size(), t.Send(job));
  // The monitor's PJL reader takes "END" then NAME="MSJOB 17" as the end of job 17; the
  // PAGES line after it is skipped with the rest of the reply.
  EXPECT_TRUE(
      SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 17\"\r\n\f"
                "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 17\"\r\nPAGES=2\r\n\f",
                t.Drain()));
  PrinterCounters c = t.Counters();
  EXPECT_EQ(2u, c.pagesPrinted);
  EXPECT_EQ(1u, c.jobsEnded);
  EXPECT_TRUE(c.ustatusDevice);
}

TEST(PrinterJob, EndIsReportedOnlyWhenTheLastPageIsOut) {
  TestPrinter t("generic", nullptr, [](PrinterConfig* c) { c->pageMs = 1000; });
  t.Send(kMonitorPrefix + DriverJob(3, 3));
  EXPECT_TRUE(SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 3\"\r\n\f", t.Drain()));
  t.Advance(2999);
  EXPECT_EQ(2u, t.Counters().pagesPrinted);
  EXPECT_EQ("", t.Drain());
  t.Advance(1);
  EXPECT_TRUE(SameBytes("@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 3\"\r\nPAGES=3\r\n\f", t.Drain()));
}

TEST(PrinterJob, NoEojMeansNoEndReportUnlessConfigured) {
  std::string open = "\x1b%-12345X@PJL JOB NAME=\"MSJOB 4\"\r\n@PJL ENTER LANGUAGE=PCL\r\nx\f";
  {
    TestPrinter t;
    t.Send(open);
    EmulatedPrinterJobEnd(t.printer);
    EXPECT_TRUE(SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 4\"\r\n\f", t.Drain()));
  }
  {
    TestPrinter t("generic", nullptr, [](PrinterConfig* c) { c->reportUnendedJobs = true; });
    t.Send(open);
    EmulatedPrinterJobEnd(t.printer);
    EXPECT_TRUE(
        SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 4\"\r\n\f"
                  "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 4\"\r\nPAGES=1\r\n\f",
                  t.Drain()));
  }
}

TEST(PrinterJob, JobReportsFollowUstatusJobWhenStrict) {
  PrinterConfig defaults;
  PrinterConfigDefaults(&defaults, nullptr);
  EXPECT_FALSE(defaults.lenientJobReports) << "strict unless switched";
  TestPrinter t("generic", nullptr, [](PrinterConfig* c) { c->lenientJobReports = false; });
  t.Send(DriverJob(5, 1));
  EXPECT_EQ("", t.Drain());
  t.Send("\x1b%-12345X@PJL USTATUS JOB = ON\r\n" + DriverJob(6, 1));
  EXPECT_NE(std::string::npos, t.Drain().find("END\r\nNAME=\"MSJOB 6\"\r\n"));
  // Nested JOB/EOJ pairs belong to the outer job: one start, one end.
  t.Send("@PJL JOB NAME=\"outer\"\r\n@PJL JOB NAME=\"inner\"\r\n@PJL EOJ\r\n@PJL EOJ\r\n");
  EXPECT_TRUE(
      SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"outer\"\r\n\f"
                "@PJL USTATUS JOB\r\nEND\r\nNAME=\"outer\"\r\nPAGES=0\r\n\f",
                t.Drain()));

  // A printer that reports nested jobs too: the NT monitor's job around a driver's, the
  // driver's ending two pages before the monitor's. Only the outermost counts as a job ended.
  TestPrinter n("generic", nullptr, [](PrinterConfig* c) { c->reportNestedJobs = true; });
  n.Send("\x1b%-12345X@PJL USTATUS JOB=ON\r\n@PJL JOB NAME=\"QVLLINK 7.1\"\r\n" + DriverJob(7, 1) +
         "\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n\x1b"
         "E p\f\x1b"
         "E q\f" +
         "\x1b%-12345X@PJL EOJ NAME=\"QVLLINK 7.1\"\r\n\x1b%-12345X");
  EXPECT_TRUE(
      SameBytes("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"QVLLINK 7.1\"\r\n\f"
                "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 7\"\r\n\f"
                "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 7\"\r\nPAGES=1\r\n\f"
                "@PJL USTATUS JOB\r\nEND\r\nNAME=\"QVLLINK 7.1\"\r\nPAGES=3\r\n\f",
                n.Drain()));
  EXPECT_EQ(1u, n.Counters().jobsEnded);
}

TEST(PrinterStatus, DeviceStatusIsSentOnEveryChangeOnceSwitchedOn) {
  TestPrinter t;
  EmulatedPrinterRaise(t.printer, COND_JAM, 0, 0, 0);
  EmulatedPrinterRemedy(t.printer, COND_COUNT);
  EXPECT_EQ("", t.Drain()) << "no unsolicited status before USTATUS DEVICE=ON";
  t.Send(kMonitorPrefix);
  EXPECT_EQ("", t.Drain()) << "switching it on reports nothing by itself";
  EmulatedPrinterRaise(t.printer, COND_JAM, 0, 0, 0);
  EmulatedPrinterRaise(t.printer, COND_TONER_LOW, 0, 0, 0);  // less urgent: code unchanged
  EmulatedPrinterRemedy(t.printer, COND_JAM);
  EXPECT_TRUE(SameBytes(
      "@PJL USTATUS DEVICE\r\nCODE=40022\r\nDISPLAY=\"13 PAPER JAM\"\r\nONLINE=FALSE\r\n\f"
      "@PJL USTATUS DEVICE\r\nCODE=10006\r\nDISPLAY=\"16 TONER LOW\"\r\nONLINE=TRUE\r\n\f",
      t.Drain()));
  t.Send("@PJL USTATUSOFF\r\n");
  EmulatedPrinterRemedy(t.printer, COND_COUNT);
  EXPECT_EQ("", t.Drain());
  EXPECT_EQ(10001u, t.Counters().statusCode);
}

TEST(PrinterStatus, MakersPrintersReportPlainCodes) {
  TestPrinter l3820("QV-L3820");
  l3820.Send(kMonitorPrefix);
  EmulatedPrinterRaise(l3820.printer, COND_PAPER_OUT, 0, 2, 3);
  EmulatedPrinterRemedy(l3820.printer, COND_COUNT);
  EXPECT_TRUE(
      SameBytes("CODE=41203\r\nDISPLAY=\"LOAD PAPER\"\r\n\f"
                "CODE=10001\r\nDISPLAY=\"00 READY\"\r\n\f",
                l3820.Drain()));
  TestPrinter l3470("QV-L3470");
  l3470.Send(kMonitorPrefix + "@PJL INFO STATUS\r\n");
  EmulatedPrinterRaise(l3470.printer, COND_TONER_LOW, 0, 0, 0);
  EXPECT_TRUE(
      SameBytes("CODE = 10001\r\nDISPLAY=\"00 READY\"\r\n\f"
                "CODE = 40556\r\nDISPLAY=\"16 TONER LOW\"\r\n\f",
                l3470.Drain()));
  // No job reports in the plain dialect: they would carry no item.
  l3470.Send(DriverJob(9, 1));
  EXPECT_EQ("", l3470.Drain());
}

TEST(PrinterInfo, PjlPrinterAnswersInfoEchoAndInquire) {
  TestPrinter t;
  // The generic memory request of the monitor, UEL in front of the first request.
  t.Send("\x1b%-12345X@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n\x1b%-12345X");
  EXPECT_TRUE(
      SameBytes("@PJL INFO CONFIG\r\nIN TRAYS [2 ENUMERATED]\r\n\tINTRAY1 MP\r\n\tINTRAY2 PC\r\n"
                "OUT TRAYS [1 ENUMERATED]\r\n\tNORMAL FACEDOWN\r\nMEMORY=2097152\r\n"
                "DISPLAY LINES=1\r\nDISPLAY CHARACTER SIZE=16\r\n\f"
                "@PJL INFO MEMORY\r\nTOTAL=1494416\r\nLARGEST=1494176\r\n\f",
                t.Drain()));
  EmulatedPrinterRaise(t.printer, COND_OFFLINE, 0, 0, 0);
  t.Send("@pjl info status\r\n");
  EXPECT_TRUE(SameBytes("", t.Drain())) << "the @PJL prefix is upper case only";
  t.Send(
      "@PJL info status\r\n@PJL INFO ID\r\n@PJL ECHO MSSYNC 42\r\n@PJL INFO PAGECOUNT\r\n"
      "@PJL INQUIRE INTRAY2SIZE\r\n@PJL DINQUIRE RESOLUTION\r\n");
  EXPECT_TRUE(
      SameBytes("@PJL INFO STATUS\r\nCODE=40079\r\nDISPLAY=\"OFFLINE\"\r\nONLINE=FALSE\r\n\f"
                "@PJL INFO ID\r\n\"generic\"\r\n\f"
                "@PJL ECHO MSSYNC 42\r\n\f"
                "@PJL INFO PAGECOUNT\r\n\"?\"\r\n\f"
                "@PJL INQUIRE INTRAY2SIZE\r\nLETTER\r\n\f"
                "@PJL DINQUIRE RESOLUTION\r\n\"?\"\r\n\f",
                t.Drain()));
}

TEST(PrinterInfo, MakersPrintersAnswerMemoryWithPlainItems) {
  // The QV-L3820 memory request: config (installed) and memory (available).
  const std::string request =
      "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n"
      "\x1b%-12345X";
  TestPrinter l3820("QV-L3820");
  l3820.Send(request);
  EXPECT_TRUE(SameBytes("INSTALLED=3982304\r\n\fTOTAL=2621440\r\n\f", l3820.Drain()));
  TestPrinter l3470("QV-L3470");
  l3470.Send(request);
  EXPECT_TRUE(SameBytes("MEMORY = 2097152\r\n\fTOTAL = 1572864\r\n\f", l3470.Drain()));
}

TEST(PrinterInfo, RepliesCanBeReadInPiecesOfAnySize) {
  for (size_t chunk = 1; chunk <= 7; chunk++) {
    TestPrinter t;
    t.Send("@PJL INFO MEMORY\r\n@PJL ECHO A\r\n");
    size_t pending = EmulatedPrinterPending(t.printer);
    EXPECT_EQ(pending, t.Drain(chunk).size()) << "chunk " << chunk;
    EXPECT_LT(0u, pending);
  }
  TestPrinter t;
  t.Send("@PJL INFO MEMORY\r\n");
  std::string whole = "@PJL INFO MEMORY\r\nTOTAL=1494416\r\nLARGEST=1494176\r\n\f";
  EXPECT_TRUE(SameBytes(whole, t.Drain(5)));
}

TEST(PrinterInfo, InputSplitAnywhereGivesTheSameReplies) {
  const std::string stream = kMonitorPrefix + "@PJL INFO STATUS\r\n" + DriverJob(8, 2);
  TestPrinter whole;
  whole.Send(stream);
  const std::string expected = whole.Drain();
  for (size_t cut = 1; cut < stream.size(); cut++) {
    TestPrinter t;
    t.Send(stream.substr(0, cut));
    t.Send(stream.substr(cut));
    ASSERT_TRUE(SameBytes(expected, t.Drain())) << "cut at " << cut;
  }
}

TEST(PrinterInfo, PortDeviceAdapterReachesThePrinter) {
  TestPrinter t("QV-L3820");
  PortDevice* device = EmulatedPrinterDevice(t.printer);
  EXPECT_STREQ("MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;", device->ops->deviceId(device));
  device->ops->jobStart(device, 12);
  const char request[] = "@PJL INFO MEMORY\r\n";
  EXPECT_EQ(
      sizeof(request) - 1,
      device->ops->write(device, reinterpret_cast<const uint8_t*>(request), sizeof(request) - 1));
  uint8_t reply[64];
  size_t got = device->ops->read(device, reply, sizeof(reply));
  EXPECT_EQ("TOTAL=2621440\r\n\f", std::string(reinterpret_cast<char*>(reply), got));
  device->ops->jobEnd(device);
  EXPECT_EQ(1, t.CountEvents(EV_PORT_JOB_START));
  EXPECT_EQ(1, t.CountEvents(EV_PORT_JOB_END));
}

}  // namespace
