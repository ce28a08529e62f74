// The status thread: deferred job ends, reading replies in pieces, drum counter resets.
#include <string.h>

#include <chrono>

#include "display_link.h"
#include "fake_display_link.h"
#include "monitor_fixture.h"
#include "network_status.h"
#include "notify_display.h"
#include "settings.h"
#include "status_thread.h"
#include "status_token.h"

namespace {

using StatusThreadTest = MonitorTest;

int SetPrinterCalls() {
  return FakeSpoolerCount(SPOOL_SET_PRINTER);
}

TEST_F(StatusThreadTest, JobEndReportAfterEndDocPortEndsTheLowerJobAndClearsStatus) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 12, "data\f"));
  Reply(port, PjlDeviceStatus(40022));
  ASSERT_TRUE(WaitFor([] { return FakeSpoolerLastStatus() == 0x00100008; }));
  table.pfnEndDocPort(port);
  EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 0) << "the end waits for the printer";
  ScriptedPortQueueReply("LPT1:", PjlJobEnd(11).c_str());  // another job's end: ignored
  ASSERT_TRUE(EndJobAtPrinter(port, 12, 1));
  ASSERT_TRUE(WaitFor([&] { return Rec(port)->hWakeEvent == nullptr; }));
  EXPECT_EQ(FakeSpoolerLastStatus(), 0) << "the thread clears the status when it leaves";
  EXPECT_EQ(Rec(port)->hPrinter, nullptr);
  EXPECT_EQ(Rec(port)->hReadDoneEvent, nullptr) << "every handle closed is zeroed";
  EXPECT_FALSE(PortFlags(Rec(port)) & (PF_THREAD_ALIVE | PF_JOB_OPEN));
  // The next job's printer jams again: the spooler, told "ready" at the thread's end, hears it.
  ASSERT_TRUE(StartJobWriting(port, 13, "data\f"));
  Reply(port, PjlDeviceStatus(40022));
  EXPECT_TRUE(WaitFor([] { return FakeSpoolerLastStatus() == 0x00100008; }))
      << "a status that comes back after the thread's end is pushed again";
  EXPECT_TRUE(EndJobAndClose(port));
}

TEST_F(StatusThreadTest, JobEndBeforeEndDocPortKeepsTheThreadAndNextStartEndsTheOldJob) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 5, "data"));
  Reply(port, PjlJobEnd(5));
  ASSERT_TRUE(WaitFor([] { return ScriptedPortPendingReply("LPT1:") == 0; }));
  Sleep(50 * 1000);
  EXPECT_TRUE(PortFlags(Rec(port)) & PF_THREAD_ALIVE) << "a job in progress keeps the thread";
  table.pfnEndDocPort(port);
  Sleep(50 * 1000);
  EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 0) << "the early report was used up";
  ASSERT_TRUE(StartJob(port, 6));
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  EXPECT_EQ(s.endDocs, 1) << "the next job's start ends the drained job first";
  EXPECT_EQ(s.jobs.size(), 2u);
  EXPECT_TRUE(EndJobAndClose(port));
  EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 2) << "ClosePort ends the deferred job";
}

TEST_F(StatusThreadTest, NextJobWaitsBoundedlyForAReadUnderWayOnTheDrainedJob) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  table.pfnEndDocPort(port);
  // The printer now takes 400 ms (real time) to answer a read; the thread is inside one.
  ScriptedPortSetReadDelay("LPT1:", 400);
  Sleep(30 * 1000);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(StartJob(port, 2));
  auto waited = std::chrono::steady_clock::now() - start;
  // The wait is 5000 ms at the tests' time scale of 1/1000: 5 ms, far below the read's 400.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 300);
  EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 1) << "the drained job ended first";
  // ClosePort waits for the thread as boundedly (5000 ms, scaled); a thread still inside its
  // read then closes the port below and frees the record itself, once the read returns.
  Write(port, "x");  // the prefix goes out: job 2's end is deferred too
  table.pfnEndDocPort(port);
  Sleep(30 * 1000);
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(table.pfnClosePort(port));
  waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 300);
  EXPECT_EQ(ScriptedPortGetState("LPT1:").closes, 0) << "not under the read";
  EXPECT_TRUE(WaitFor([] { return ScriptedPortGetState("LPT1:").closes == 1; }));
  EXPECT_TRUE(WaitFor([] {
    EnterMonitorLock();
    const bool gone = PortListHead() == nullptr;
    LeaveMonitorLock();
    return gone;
  }));
  EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 2);
}

TEST_F(StatusThreadTest, ReplySplitAnywhereIsAppliedExactlyOnce) {
  // Codes alternate between a jam and ready, so every applied reply changes the status once.
  std::string replies;
  const int kReplies = 40;
  // Half of them end with an ONLINE line, so some splits fall inside TRUE and FALSE.
  for (int i = 0; i < kReplies; ++i) {
    if (i % 4 == 0) {
      replies += "@PJL USTATUS DEVICE\r\nCODE=40021\r\nDISPLAY=DOOR\r\nONLINE=FALSE\r\n\f";
    } else if (i % 4 == 3) {
      replies += "@PJL USTATUS DEVICE\r\nCODE=10001\r\nDISPLAY=READY\r\nONLINE=TRUE\r\n\f";
    } else {
      replies += PjlDeviceStatus(i % 4 == 1 ? 10001 : 40022);
    }
  }
  for (DWORD chunk : {1u, 7u, 64u, 1023u}) {
    SCOPED_TRACE(chunk);
    FakeSpoolerReset(true);
    ScriptedPortsReset();
    HANDLE port = Open("LPT1:", kGenericDeviceId);
    ScriptedPortSetReadChunk("LPT1:", chunk);
    ASSERT_TRUE(StartJobWriting(port, 1, "x"));
    // Reads that return less than the room end ReadReplies; each wake reads one more piece.
    for (size_t at = 0; at < replies.size(); at += chunk) {
      ScriptedPortQueueReply("LPT1:", replies.substr(at, chunk).c_str());
      size_t before = ScriptedPortPendingReply("LPT1:");
      Write(port, "");
      ASSERT_TRUE(WaitFor([&] { return ScriptedPortPendingReply("LPT1:") < before; }));
    }
    ASSERT_TRUE(WaitFor([&] { return SetPrinterCalls() >= kReplies; }));
    Sleep(20 * 1000);
    EXPECT_EQ(SetPrinterCalls(), kReplies);
    EXPECT_TRUE(EndJobAndClose(port));
  }
}

TEST_F(StatusThreadTest, ReplyLongerThanTheBufferIsDroppedAndTheNextOneRead) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  std::string huge = "@PJL USTATUS DEVICE\r\nCODE=40022\r\nDISPLAY=" + std::string(1100, 'A');
  ScriptedPortQueueReply("LPT1:", (huge + "\r\nONLINE=TRUE\r\n\f").c_str());
  // One wake reads both: the long reply does not stall the ones behind.
  Reply(port, PjlDeviceStatus(40021));
  ASSERT_TRUE(WaitFor([] { return FakeSpoolerLastStatus() == 0x00500000; }));
  EXPECT_EQ(SetPrinterCalls(), 1) << "the jam inside the oversized reply is not applied";
  EXPECT_TRUE(EndJobAndClose(port));
}

TEST_F(StatusThreadTest, FailedReadsLoseNoReply) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  ScriptedPortFailReads("LPT1:", 3);
  ScriptedPortQueueReply("LPT1:", PjlDeviceStatus(40021).c_str());
  // Each wake makes one read; the first three fail and bring nothing.
  ASSERT_TRUE(WaitFor([&] {
    Write(port, "");
    return FakeSpoolerLastStatus() == 0x00500000;
  }));
  EXPECT_EQ(FakeSpoolerCount(SPOOL_SET_PRINTER), 1);
  EXPECT_TRUE(EndJobAndClose(port));
}

struct DrumCase {
  const char* deviceId;
  std::string command;
};

TEST_F(StatusThreadTest, DrumResetCommandIsWrittenWholeAndRetriedAfterAPartialWrite) {
  const DrumCase cases[] = {
      {"MFG:Zemblaxon;MDL:QV-L3820;", std::string("\x1b\x1b\0ENG_CMD,0x54;", 16)},
      {"MFG:Zemblaxon;MDL:QV-L3470;", std::string("\x1b\x1b\0RE_PU;", 9)},
  };
  for (const DrumCase& c : cases) {
    SCOPED_TRACE(c.deviceId);
    ScriptedPortsReset();
    HANDLE port = Open("LPT1:", c.deviceId);
    ASSERT_TRUE(StartJobWriting(port, 1, "x"));
    ASSERT_TRUE(WaitFor([&] { return (PortFlags(Rec(port)) & PF_THREAD_ALIVE) != 0; }));
    Sleep(20 * 1000);                        // the thread has reset the event at its start
    table.pfnEndDocPort(port);               // outside a job the thread polls every pass
    ScriptedPortLimitWrites("LPT1:", 1, 4);  // the first attempt writes only 4 bytes
    HANDLE request = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
    ASSERT_NE(request, nullptr);
    SetEvent(request);
    ASSERT_TRUE(WaitFor([&] { return WaitForSingleObject(request, 0) == WAIT_TIMEOUT; }));
    ScriptedPortState s = ScriptedPortGetState("LPT1:");
    std::string written = s.stream.substr(s.stream.size() - 4 - c.command.size());
    EXPECT_EQ(written, c.command.substr(0, 4) + c.command);
    CloseHandle(request);
    EXPECT_TRUE(table.pfnClosePort(port));
  }
}

TEST_F(StatusThreadTest, DrumResetReachesOnlyTheMakersPrinters) {
  HANDLE generic = Open("LPT1:", kGenericDeviceId);
  HANDLE maker = Open("LPT2:", kMakerDeviceId);
  for (HANDLE port : {generic, maker}) {
    ASSERT_TRUE(StartJobWriting(port, 1, "x"));
    table.pfnEndDocPort(port);  // both threads poll the event in every pass
  }
  Sleep(20 * 1000);  // both threads have reset the event at their start
  HANDLE request = OpenEventA(EVENT_ALL_ACCESS, FALSE, DRUM_RESET_EVENT_NAME);
  ASSERT_NE(request, nullptr);
  SetEvent(request);
  ASSERT_TRUE(WaitFor([&] { return WaitForSingleObject(request, 0) == WAIT_TIMEOUT; }));
  EXPECT_EQ(ScriptedPortGetState("LPT1:").outsideJob, "")
      << "a generic PJL printer would print the command as text";
  EXPECT_NE(ScriptedPortGetState("LPT2:").stream.find("ENG_CMD,0x54;"), std::string::npos);
  CloseHandle(request);
  EXPECT_TRUE(table.pfnClosePort(generic));
  EXPECT_TRUE(table.pfnClosePort(maker));
}

// The display program shows one printer at a time: only the end of that printer's status
// thread closes it, not the end of another port's.
TEST_F(StatusThreadTest, ThreadEndClosesTheDisplayOnlyForThePrinterItShows) {
  ReleaseSharedPrinterName();
  FakeDisplayLinkReset(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, SHARED_PRINTER_NAME_MAPPING);
  FakeDisplaySetWindow(true);
  auto destroys = [] {
    int n = 0;
    for (int i = 0; i < FakeDisplayPostCount(); ++i)
      n += FakeDisplayPostAt(i).message == WM_DESTROY;
    return n;
  };
  HANDLE maker = Open("LPT1:", kMakerDeviceId, "Front Desk");
  HANDLE generic = Open("LPT2:", kGenericDeviceId, "Hall");
  ASSERT_TRUE(StartJobWriting(maker, 1, "x", "Front Desk"));
  Reply(maker, PlainCode(41003));
  ASSERT_TRUE(WaitFor([] { return FakeDisplayPostCount() == 1; }));
  ASSERT_TRUE(StartJobWriting(generic, 2, "x", "Hall"));
  table.pfnEndDocPort(generic);
  ScriptedPortQueueReply("LPT2:", PjlJobEnd(2).c_str());
  ASSERT_TRUE(WaitFor([] { return FakeRunningThreads() == 1; }));  // the generic one returned
  EXPECT_EQ(destroys(), 0) << "the generic printer's thread closed the other printer's dialog";
  EXPECT_TRUE(EndJobAndClose(maker));
  EXPECT_TRUE(WaitFor([&] { return destroys() == 1; }))
      << "the shown printer's thread end closes the display";
  EXPECT_TRUE(table.pfnClosePort(generic));
  ReleaseSharedPrinterName();
  FakeDisplayLinkReset(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, SHARED_PRINTER_NAME_MAPPING);
}

// A printer switched off in the middle of a reply leaves "CODE=410" unfinished; the next job's
// first reply must be read on its own, not as the end of that one.
TEST_F(StatusThreadTest, UnfinishedReplyOfAnEndedLowerJobIsDropped) {
  HANDLE port = Open("LPT1:", kMakerDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  Reply(port, "STATUS CODE=410");
  ASSERT_TRUE(WaitFor([] { return ScriptedPortPendingReply("LPT1:") == 0; }));
  table.pfnEndDocPort(port);
  ASSERT_TRUE(StartJobWriting(port, 2, "x"));  // ends the first lower job
  Reply(port, PlainCode(40022));
  EXPECT_TRUE(WaitFor([] { return FakeSpoolerLastStatus() == 0x00100008; }));
  EXPECT_TRUE(EndJobAndClose(port));
}

// The maker's printers never report a job's end: a deferred end completes once the printer has
// been silent for the idle time-out (IdleTimeout4L; IdleTimeoutOther for other printers).
TEST_F(StatusThreadTest, SilentPrinterCompletesADeferredEndAfterItsIdleTimeOut) {
  const DWORD saved4L = IdleTimeout4L, savedOther = IdleTimeoutOther;
  struct Case {
    const char* deviceId;
    DWORD idle4L, idleOther;  // real milliseconds: the tick count is not scaled
  } cases[] = {{kMakerDeviceId, 400, 3600000}, {kGenericDeviceId, 3600000, 400}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deviceId);
    ScriptedPortsReset();
    IdleTimeout4L = c.idle4L;
    IdleTimeoutOther = c.idleOther;
    HANDLE port = Open("LPT1:", c.deviceId);
    ASSERT_TRUE(StartJobWriting(port, 1, "data"));
    table.pfnEndDocPort(port);
    Sleep(100 * 1000);
    EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 0) << "not before the time-out";
    ASSERT_TRUE(WaitFor([&] { return Rec(port)->hWakeEvent == nullptr; }, 3000));
    EXPECT_EQ(ScriptedPortGetState("LPT1:").endDocs, 1) << "the thread ended the lower job";
    EXPECT_EQ(FakeSpoolerLastStatus(), 0) << "and left as after a job-end report";
    EXPECT_TRUE(table.pfnClosePort(port));
  }
  IdleTimeout4L = saved4L;
  IdleTimeoutOther = savedOther;
}

TEST_F(StatusThreadTest, ResetRequestMadeBeforeTheThreadStartsIsDiscarded) {
  HANDLE early = CreateEventA(nullptr, TRUE, TRUE, DRUM_RESET_EVENT_NAME);  // signalled
  HANDLE port = Open("LPT1:", kMakerDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  table.pfnEndDocPort(port);
  Sleep(200 * 1000);
  EXPECT_EQ(WaitForSingleObject(early, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(ScriptedPortGetState("LPT1:").stream.find("ENG_CMD"), std::string::npos);
  CloseHandle(early);
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(StatusThreadTest, FailedThreadStartLeavesThePortUsableAndTheNextJobTriesAgain) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  FakeFailCreateThread(1);
  ASSERT_TRUE(StartJob(port, 1));
  EXPECT_FALSE(PortFlags(Rec(port)) & (PF_THREAD_RUN | PF_THREAD_ALIVE));
  EXPECT_EQ(Rec(port)->hWakeEvent, nullptr);
  EXPECT_EQ(Write(port, "data"), 4u);
  table.pfnEndDocPort(port);
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  EXPECT_EQ(s.jobs[0].bytes, "data") << "no PJL request without a thread to read the replies";
  EXPECT_EQ(s.endDocs, 1) << "so the job ends at once";
  ASSERT_TRUE(StartJob(port, 2));
  EXPECT_TRUE(PortFlags(Rec(port)) & PF_THREAD_RUN);
  Write(port, "data");
  EXPECT_TRUE(EndJobAndClose(port));
}

TEST_F(StatusThreadTest, PrinterNoLongerIdentifiedEndsTheThreadAfterTheJob) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  table.pfnEndDocPort(port);
  ScriptedPortSetDeviceId("LPT1:", nullptr);
  ASSERT_TRUE(StartJob(port, 2));  // ends job 1 itself; the thread goes on for now
  EXPECT_FALSE(PortFlags(Rec(port)) & PF_PJL_PRINTER);
  Write(port, "y");
  table.pfnEndDocPort(port);
  ASSERT_TRUE(WaitFor([&] { return (PortFlags(Rec(port)) & PF_THREAD_ALIVE) == 0; }));
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(StatusThreadTest, DispatchStopsOnAParserThatMakesNoProgress) {
  // An empty text calls no parser and is not "more".
  PortRecord record{};
  DWORD consumed = 7;
  char empty[1] = {0};
  EXPECT_NE(DispatchReplies(&record, empty, &consumed), PARSE_MORE);
  EXPECT_EQ(consumed, 0u);
}

// A network printer's IPP answers, applied as the status thread of a network port applies
// them: the first answer identifies the printer, a family printer's reasons become its codes for
// the display program, another printer's become spooler status, and an answer that says nothing
// new tells no one.
TEST_F(StatusThreadTest, NetworkAnswersIdentifyAndTellOnlyChanges) {
  ReleaseSharedPrinterName();
  FakeDisplayLinkReset(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, SHARED_PRINTER_NAME_MAPPING);
  FakeDisplaySetWindow(true);
  HANDLE family = Open("IP_10.0.0.7", nullptr, "Front Desk");
  HANDLE generic = Open("IP_10.0.0.8", nullptr, "Hall");
  IppPrinterAttributes answer = {};
  answer.state = IPP_STATE_STOPPED;
  answer.reasonCount = 1;
  strcpy(answer.reasons[0].keyword, "media-jam");
  strcpy(answer.deviceId, "MFG:Zemblaxon;MDL:QV-L3470;CMD:PJL;");
  IppStatus last = {};
  EXPECT_TRUE(ApplyIppAnswer(Rec(family), &answer, true, &last));
  EXPECT_TRUE(HasPortFlags(Rec(family), PF_MODEL_3470 | PF_FAMILY_MODEL));
  ASSERT_EQ(1, FakeDisplayPostCount());
  EXPECT_EQ(40022u, FakeDisplayPostAt(0).wParam);
  EXPECT_EQ(3470, static_cast<int>(FakeDisplayPostAt(0).lParam));
  EXPECT_FALSE(ApplyIppAnswer(Rec(family), &answer, false, &last));
  EXPECT_EQ(1, FakeDisplayPostCount()) << "the same answer again is no news";
  answer.reasonCount = 0;
  answer.state = IPP_STATE_IDLE;
  ApplyIppAnswer(Rec(family), &answer, false, &last);
  ASSERT_EQ(2, FakeDisplayPostCount());
  EXPECT_EQ(10001u, FakeDisplayPostAt(1).wParam);

  answer.deviceId[0] = '\0';  // a printer that tells no device ID stays a generic one
  answer.state = IPP_STATE_STOPPED;
  answer.reasonCount = 2;
  strcpy(answer.reasons[0].keyword, "door-open");
  strcpy(answer.reasons[1].keyword, "toner-low");
  answer.reasons[1].level = IPP_LEVEL_REPORT;
  IppStatus lastGeneric = {};
  EXPECT_FALSE(ApplyIppAnswer(Rec(generic), &answer, true, &lastGeneric));
  EXPECT_FALSE(HasPortFlags(Rec(generic), PF_FAMILY_MODEL | PF_FAMILY_MAKER));
  EXPECT_EQ(PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_USER_INTERVENTION, FakeSpoolerLastStatus());
  EXPECT_EQ(2, FakeDisplayPostCount()) << "a generic printer's status is not the display's";
  const int setCalls = SetPrinterCalls();
  ApplyIppAnswer(Rec(generic), &answer, false, &lastGeneric);
  EXPECT_EQ(setCalls, SetPrinterCalls());
  answer.reasonCount = 1;  // the door closed, the toner still low: nothing that stops it
  strcpy(answer.reasons[0].keyword, "toner-low");
  answer.reasons[0].level = IPP_LEVEL_REPORT;
  answer.state = IPP_STATE_IDLE;
  ApplyIppAnswer(Rec(generic), &answer, false, &lastGeneric);
  EXPECT_EQ(0, FakeSpoolerLastStatus());
  EXPECT_TRUE(table.pfnClosePort(family));
  EXPECT_TRUE(table.pfnClosePort(generic));
  ReleaseSharedPrinterName();
  FakeDisplayLinkReset(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, SHARED_PRINTER_NAME_MAPPING);
}

}  // namespace
