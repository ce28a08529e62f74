// Port and job operations as the spooler calls them: opens, jobs, the PJL prefix, deferred
// job ends, and the failures of the port monitor below.
#include "monitor_fixture.h"

namespace {

using PortOps = MonitorTest;

TEST_F(PortOps, TableHasTheSevenOperationsAndNullElsewhere) {
  EXPECT_EQ(table.pfnEnumPorts, nullptr);
  EXPECT_EQ(table.pfnOpenPort, nullptr);
  EXPECT_EQ(table.pfnAddPort, nullptr);
  EXPECT_EQ(table.pfnConfigurePort, nullptr);
  EXPECT_EQ(table.pfnDeletePort, nullptr);
  EXPECT_EQ(table.pfnSetPortTimeOuts, nullptr);
  EXPECT_NE(table.pfnOpenPortEx, nullptr);
  EXPECT_NE(table.pfnStartDocPort, nullptr);
  EXPECT_NE(table.pfnWritePort, nullptr);
  EXPECT_NE(table.pfnReadPort, nullptr);
  EXPECT_NE(table.pfnEndDocPort, nullptr);
  EXPECT_NE(table.pfnClosePort, nullptr);
  EXPECT_NE(table.pfnGetPrinterDataFromPort, nullptr);
}

TEST_F(PortOps, SecondOpenOfAPortNameInAnyLetterCaseIsBusy) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  HANDLE second = nullptr;
  SetLastError(0xBEEF);
  EXPECT_FALSE(table.pfnOpenPortEx(const_cast<LPSTR>("lpt1:"), const_cast<LPSTR>("P"), &second,
                                   ScriptedPortMonitor()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  EXPECT_EQ(ScriptedPortGetState("LPT1:").opens, 1) << "the port monitor is not asked again";
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(PortOps, FailedLowerOpenFreesTheRecordSoTheNameCanBeOpenedLater) {
  ScriptedPortFailOpen("LPT2:", 1);
  HANDLE port = nullptr;
  SetLastError(0xBEEF);
  EXPECT_FALSE(table.pfnOpenPortEx(const_cast<LPSTR>("LPT2:"), const_cast<LPSTR>("P"), &port,
                                   ScriptedPortMonitor()));
  EXPECT_EQ(GetLastError(), 5u) << "the port monitor's error stands";
  EXPECT_EQ(FakeSpoolerOpenHandles(), 0) << "the record's printer handle is closed too";
  port = Open("LPT2:", kGenericDeviceId);
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(PortOps, LevelOneJobGetsThePrefixOnceBeforeItsData) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJob(port, 7));
  EXPECT_EQ(Write(port, "page one\f"), 9u);
  EXPECT_EQ(Write(port, "page two\f"), 9u);
  table.pfnEndDocPort(port);
  ASSERT_TRUE(EndJobAtPrinter(port, 7, 1));
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  ASSERT_EQ(s.jobs.size(), 1u);
  EXPECT_EQ(s.jobs[0].bytes, kPrefix + "page one\fpage two\f");
  EXPECT_TRUE(table.pfnClosePort(port));

  // A port of named jobs (the NT face's): the prefix also asks for job reports and opens the
  // monitor's own job, which EndDocPort closes before the lower job's end. Only that job's
  // report ends it: not the driver's job of the same id, nor the run before a restart.
  port = Open("LPT2:", kGenericDeviceId);
  SetPortFlags(Rec(port), PF_NAMED_JOBS);
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    const std::string name = "QVLLINK 7." + std::to_string(run);
    ASSERT_TRUE(StartJob(port, 7));
    EXPECT_EQ(Write(port, "page\f"), 5u);
    table.pfnEndDocPort(port);
    ScriptedPortQueueReply("LPT2:", PjlJobEnd(7).c_str());
    ScriptedPortQueueReply("LPT2:", PjlJobEnd("QVLLINK 7." + std::to_string(run - 1)).c_str());
    ASSERT_TRUE(WaitFor([] { return ScriptedPortPendingReply("LPT2:") == 0; }));
    Sleep(50 * 1000);
    EXPECT_EQ(ScriptedPortGetState("LPT2:").endDocs, run - 1) << "other jobs' ends do not count";
    ScriptedPortQueueReply("LPT2:", PjlJobEnd(name).c_str());
    ASSERT_TRUE(WaitFor([&] { return ScriptedPortGetState("LPT2:").endDocs == run; }));
    EXPECT_EQ(ScriptedPortGetState("LPT2:").jobs.back().bytes,
              kPrefix + "@PJL USTATUS JOB=ON\r\n@PJL JOB NAME=\"" + name + "\"\r\npage\f" +
                  "\x1b%-12345X@PJL EOJ NAME=\"" + name + "\"\r\n\x1b%-12345X");
  }
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(PortOps, PrefixDependsOnLevelAndMode) {
  struct Case {
    DWORD level, mode;
    bool prefix;
  } cases[] = {{1, 0, true}, {2, 0, false}, {2, 1, true}, {2, 2, true}, {2, 3, false}};
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  DWORD job = 1;
  for (const Case& c : cases) {
    ASSERT_TRUE(StartJob(port, job, c.level, c.mode));
    Write(port, "data");
    table.pfnEndDocPort(port);
    // End every job at the printer so the next one starts clean.
    ScriptedPortQueueReply("LPT1:", PjlJobEnd(job).c_str());
    ScriptedPortState s = ScriptedPortGetState("LPT1:");
    EXPECT_EQ(s.jobs.back().bytes, (c.prefix ? kPrefix : "") + "data")
        << "level " << c.level << " mode " << c.mode;
    ++job;
  }
  EXPECT_TRUE(table.pfnClosePort(port));
}

// A job that wrote nothing still owed its prefix: the next job, which asks for none, must not
// inherit it, and one that asks for it gets it once.
TEST_F(PortOps, PrefixOwedByAnEmptyJobIsNotCarriedIntoTheNext) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJob(port, 1, 1, 0));
  table.pfnEndDocPort(port);
  ASSERT_TRUE(StartJob(port, 2, 2, 0));
  EXPECT_EQ(Write(port, "data"), 4u);
  table.pfnEndDocPort(port);
  ASSERT_TRUE(StartJob(port, 3, 1, 0));
  EXPECT_EQ(Write(port, "more"), 4u);
  table.pfnEndDocPort(port);
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  ASSERT_EQ(s.jobs.size(), 3u);
  EXPECT_EQ(s.jobs[0].bytes, "");
  EXPECT_EQ(s.jobs[1].bytes, "data");
  EXPECT_EQ(s.jobs[2].bytes, kPrefix + "more");
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(PortOps, UnidentifiedPrinterGetsNoPrefixNoThreadAndAnImmediateEnd) {
  HANDLE port = Open("LPT1:", nullptr);
  ASSERT_TRUE(StartJob(port, 3));
  EXPECT_FALSE(PortFlags(Rec(port)) & PF_PJL_PRINTER);
  EXPECT_EQ(Write(port, "plain"), 5u);
  EXPECT_EQ(FakeRunningThreads(), 0);
  table.pfnEndDocPort(port);
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  EXPECT_EQ(s.endDocs, 1) << "no PJL went out, so the lower job ends at once";
  EXPECT_EQ(s.jobs[0].bytes, "plain");
  EXPECT_EQ(Rec(port)->hPrinter, nullptr);
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(PortOps, SecondJobBeforeEndIsBusyAndWritesOutsideJobsFail) {
  HANDLE port = Open("LPT1:", nullptr);
  EXPECT_EQ(Write(port, "early"), 0u);
  ASSERT_TRUE(StartJob(port, 1));
  SetLastError(0xBEEF);
  EXPECT_FALSE(StartJob(port, 2));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  table.pfnEndDocPort(port);
  EXPECT_EQ(Write(port, "late"), 0u);
  BYTE buffer[8];
  DWORD read = 99;
  EXPECT_FALSE(table.pfnReadPort(port, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(ScriptedPortGetState("LPT1:").stream, "");
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(PortOps, FailedLowerStartLeavesThePortIdle) {
  HANDLE port = Open("LPT1:", nullptr);
  ScriptedPortFailStartDoc("LPT1:", 1);
  SetLastError(0xBEEF);
  EXPECT_FALSE(StartJob(port, 1));
  EXPECT_EQ(GetLastError(), 21u);
  EXPECT_TRUE(StartJob(port, 2)) << "the failed start left no job behind";
  EXPECT_TRUE(EndJobAndClose(port));
}

TEST_F(PortOps, PartlyWrittenPrefixIsFinishedNotRestarted) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJob(port, 4));
  ScriptedPortLimitWrites("LPT1:", 1, 0);
  EXPECT_EQ(Write(port, "data"), 0u) << "nothing of the prefix went: the write fails";
  ScriptedPortLimitWrites("LPT1:", 1, 5);
  EXPECT_EQ(Write(port, "data"), 4u) << "the rest of the prefix goes in the same call";
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  EXPECT_EQ(s.jobs[0].bytes, kPrefix + "data");
  EXPECT_TRUE(EndJobAndClose(port));
}

TEST_F(PortOps, PrinterNameChangeReopensThePrinterHandle) {
  HANDLE port = Open("LPT1:", nullptr, "Office Printer");
  HANDLE first = Rec(port)->hPrinter;
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(StartJob(port, 1, 1, 1, "office printer"));  // differs only in case
  EXPECT_STREQ(Rec(port)->printerName, "office printer");
  EXPECT_EQ(FakeSpoolerCount(SPOOL_CLOSE_PRINTER), 1);
  EXPECT_EQ(FakeSpoolerCount(SPOOL_OPEN_PRINTER), 2);
  table.pfnEndDocPort(port);  // immediate end closes the handle
  ASSERT_TRUE(StartJob(port, 2, 1, 1, "office printer"));
  EXPECT_NE(Rec(port)->hPrinter, nullptr) << "the same name reopens a closed handle";
  EXPECT_TRUE(EndJobAndClose(port));
  EXPECT_EQ(FakeSpoolerOpenHandles(), 0);
}

TEST_F(PortOps, DeviceIdFillingTheWholeBufferIsStillTerminated) {
  std::string id = "MFG:Zemblaxon;MDL:QV-L3820;";
  id += std::string(1024 - id.size(), 'Z');  // 1024 bytes, no NUL fits
  HANDLE port = Open("LPT1:", id.c_str());
  ASSERT_TRUE(StartJob(port, 1));
  EXPECT_TRUE(PortFlags(Rec(port)) & PF_MODEL_3820);
  EXPECT_TRUE(EndJobAndClose(port));
}

TEST_F(PortOps, ClosePortInTheMiddleOfAJobEndsItAndReturns) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 9, "half a job"));
  EXPECT_TRUE(table.pfnClosePort(port));  // no EndDocPort: must not hang
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  EXPECT_EQ(s.endDocs, 1);
  EXPECT_EQ(s.closes, 1);
  EXPECT_EQ(FakeSpoolerOpenHandles(), 0);

  // A named job (NT) is closed at the printer all the same, or the printer would count every
  // later job on the port inside it.
  port = Open("LPT2:", kGenericDeviceId);
  SetPortFlags(Rec(port), PF_NAMED_JOBS);
  ASSERT_TRUE(StartJobWriting(port, 9, "half a job"));
  EXPECT_TRUE(table.pfnClosePort(port));
  const std::string bytes = ScriptedPortGetState("LPT2:").jobs.back().bytes;
  EXPECT_NE(bytes.find("half a job\x1b%-12345X@PJL EOJ NAME=\"QVLLINK 9.1\"\r\n"),
            std::string::npos)
      << bytes;
}

}  // namespace
