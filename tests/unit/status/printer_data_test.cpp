// GetPrinterDataFromPort: pass-through of device controls, the memory request for each kind of
// printer, the two reads by the status thread, and the answers.
#include "printer_data.h"

#include <string.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "apply_status.h"
#include "monitor_entry.h"
#include "port_ops.h"
#include "status_support.h"

namespace {

// The memory requests, byte for byte.
const std::string kRequestConfigAndMemory(
    "\x1b%-12345X@PJL\r\n"
    "@PJL USTATUS DEVICE=ON\r\n"
    "@PJL INFO CONFIG\r\n"
    "@PJL INFO MEMORY\r\n"
    "\x1b%-12345X");
const std::string kRequestMemory(
    "\x1b%-12345X@PJL\r\n"
    "@PJL USTATUS DEVICE=ON\r\n"
    "@PJL INFO MEMORY\r\n"
    "\x1b%-12345X");
const std::string kRequestPlain(
    "\x1b%-12345X@PJL INFO CONFIG\r\n"
    "@PJL INFO MEMORY\r\n"
    "\x1b%-12345X");

HANDLE const kLowerPort = reinterpret_cast<HANDLE>(0x4C50);

// The port monitor below: records what is written, answers control 17 with a device ID and
// records any other control.
struct LowerMonitor {
  std::string deviceId;
  int deviceIdCalls = 0;
  std::string written;
  DWORD writeLimit = 0xFFFFFFFFu;  // bytes taken per write
  std::vector<DWORD> writeLimits;  // bytes taken by the next writes, one each, before writeLimit
  struct {
    int calls = 0;
    HANDLE port;
    DWORD controlId;
    LPSTR valueName, inBuffer, outBuffer;
    DWORD inSize, outSize;
    LPDWORD returned;
  } control;
  BOOL controlResult = TRUE;
} lower;

BOOL WINAPI LowerWritePort(HANDLE port, LPBYTE data, DWORD count, LPDWORD written) {
  if (port != kLowerPort) return FALSE;
  DWORD limit = lower.writeLimit;
  if (!lower.writeLimits.empty()) {
    limit = lower.writeLimits.front();
    lower.writeLimits.erase(lower.writeLimits.begin());
  }
  *written = count < limit ? count : limit;
  lower.written.append(reinterpret_cast<const char*>(data), *written);
  return TRUE;
}

BOOL WINAPI LowerGetPrinterData(HANDLE port, DWORD controlId, LPSTR valueName, LPSTR inBuffer,
                                DWORD inSize, LPSTR outBuffer, DWORD outSize, LPDWORD returned) {
  if (controlId == CONTROL_ID_DEVICE_ID && port == kLowerPort) {
    ++lower.deviceIdCalls;
    if (lower.deviceId.size() + 1 > outSize) return FALSE;
    memcpy(outBuffer, lower.deviceId.c_str(), lower.deviceId.size() + 1);
    *returned = static_cast<DWORD>(lower.deviceId.size() + 1);
    return TRUE;
  }
  ++lower.control.calls;
  lower.control.port = port;
  lower.control.controlId = controlId;
  lower.control.valueName = valueName;
  lower.control.inBuffer = inBuffer;
  lower.control.inSize = inSize;
  lower.control.outBuffer = outBuffer;
  lower.control.outSize = outSize;
  lower.control.returned = returned;
  return lower.controlResult;
}

// Stands in for the port's status thread: each wake is one read of replies, which applies the
// given reply (if any) and ends by signalling hReadDoneEvent.
class ReadingThread {
 public:
  ReadingThread(PortRecord* port, std::vector<StatusToken> reply) : port_(port), reply_(reply) {
    port->hWakeEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    port->hReadDoneEvent = CreateEventA(NULL, TRUE, TRUE, NULL);
    SetPortFlags(port, PF_THREAD_ALIVE);
    thread_ = std::thread([this] { Run(); });
  }
  ~ReadingThread() {
    stop_ = true;
    thread_.join();
    ClearPortFlags(port_, PF_THREAD_ALIVE);
    CloseHandle(port_->hWakeEvent);
    CloseHandle(port_->hReadDoneEvent);
    port_->hWakeEvent = port_->hReadDoneEvent = NULL;
  }
  int reads() const { return reads_; }

 private:
  void Run() {
    while (!stop_) {
      if (WaitForSingleObject(port_->hWakeEvent, 10) != WAIT_OBJECT_0) continue;
      if (!reply_.empty()) {
        ApplyStatusTokens(port_, reply_.data(), static_cast<uint32_t>(reply_.size()));
      }
      ++reads_;
      SetEvent(port_->hReadDoneEvent);
    }
  }
  PortRecord* port_;
  std::vector<StatusToken> reply_;
  std::atomic<bool> stop_{false};
  std::atomic<int> reads_{0};
  std::thread thread_;
};

const char kQvl3820[] = "MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;";
const char kQvl5000[] = "MFG:Zemblaxon;MDL:QV-L5000;CMD:PJL;";
const char kOtherMaker[] = "MFG:Acme;MDL:LaserWorks 9;CMD:PJL;";
const DWORD kUntouched = 0xA5A5A5A5u;

class PrinterDataTest : public StatusTest {
 protected:
  void SetUp() override {
    StatusTest::SetUp();
    MONITOR table;
    InitializeMonitorEx(nullptr, &table);  // the monitor lock guards the port's events
    lower = LowerMonitor();
  }
  // A port with an open lower job whose printer answers and a status thread, on the recording
  // port monitor.
  PortRecord* JobPort(const char* deviceId,
                      DWORD flags = PF_JOB_OPEN | PF_PJL_PRINTER | PF_THREAD_ALIVE) {
    lower.deviceId = deviceId;
    PortRecord* port = Port("Office", flags);
    port->hPort = kLowerPort;
    port->portMonitor.pfnWritePort = LowerWritePort;
    port->portMonitor.pfnGetPrinterDataFromPort = LowerGetPrinterData;
    return port;
  }
  BOOL Query(PortRecord* port, const char* name, DWORD* value, DWORD outSize, DWORD* returned) {
    return GetPrinterDataFromPort(port, 0, const_cast<LPSTR>(name), NULL, 0,
                                  reinterpret_cast<LPSTR>(value), outSize, returned);
  }
};

TEST_F(PrinterDataTest, RequestChosenByPrinter) {
  const DWORD kAnswers = PF_PJL_PRINTER | PF_THREAD_ALIVE;
  struct Case {
    const char* deviceId;
    DWORD flags;
    const std::string* request;  // NULL: nothing may be sent
  } cases[] = {
      {kQvl3820, kAnswers, &kRequestConfigAndMemory},
      {kQvl5000, kAnswers, &kRequestMemory},
      {"MDL:QV-L5000;", kAnswers, &kRequestPlain},
      {"MFG:Zemblaxon;MDL:Other;", kAnswers, &kRequestPlain},
      {kOtherMaker, kAnswers, &kRequestPlain},
      // A QV-L3470 is turned away before any request, the one with ESC E included.
      {"MFG:Zemblaxon;MDL:QV-L3470;", kAnswers, NULL},
      {kQvl3820, PF_THREAD_ALIVE, NULL},           // printer does not answer
      {"MFG:Zemblaxon;CMD:PJL;", kAnswers, NULL},  // no model: not identified
      // No status thread would read the replies or end the job kept open for them.
      {kOtherMaker, PF_PJL_PRINTER, NULL},
  };
  for (const Case& c : cases) {
    for (const char* name : {"Installed Memory", "Available Memory", "Paper Size"}) {
      lower = LowerMonitor();
      // A status thread without events: the query does not wait.
      PortRecord* port = JobPort(c.deviceId, PF_JOB_OPEN | c.flags);
      port->installedMemory = port->availableMemory = 77;
      DWORD value = kUntouched, returned = kUntouched;
      EXPECT_FALSE(Query(port, name, &value, 4, &returned)) << c.deviceId << " " << name;
      EXPECT_EQ(1, lower.deviceIdCalls) << "identified at every query";
      EXPECT_EQ(kUntouched, value);
      if (c.request == NULL) {
        EXPECT_EQ("", lower.written) << c.deviceId;
        EXPECT_FALSE(HasPortFlags(port, PF_USTATUS_ON));
        EXPECT_EQ(kUntouched, returned);
        EXPECT_EQ(77u, port->installedMemory);
        EXPECT_EQ(77u, port->availableMemory);
        continue;
      }
      EXPECT_EQ(*c.request, lower.written) << c.deviceId << " " << name;
      EXPECT_TRUE(HasPortFlags(port, PF_USTATUS_ON));
      // Only the asked size is cleared.
      const bool installed = name[0] == 'I', available = name[0] == 'A';
      EXPECT_EQ(installed ? 0u : 77u, port->installedMemory) << name;
      EXPECT_EQ(available ? 0u : 77u, port->availableMemory) << name;
      EXPECT_EQ(installed || available ? 4u : kUntouched, returned) << name;
    }
  }
}

TEST_F(PrinterDataTest, RequestFollowsAPendingPrefix) {
  PortRecord* port =
      JobPort(kOtherMaker, PF_JOB_OPEN | PF_PJL_PRINTER | PF_THREAD_ALIVE | PF_PJL_PREFIX);
  DWORD value = 0, returned = 0;
  Query(port, "Installed Memory", &value, 4, &returned);
  ASSERT_GT(lower.written.size(), kRequestPlain.size());
  EXPECT_EQ(kRequestPlain, lower.written.substr(lower.written.size() - kRequestPlain.size()));
  EXPECT_FALSE(HasPortFlags(port, PF_PJL_PREFIX));
}

TEST_F(PrinterDataTest, AnswersFromTheRepliesRead) {
  struct Case {
    const char* deviceId;
    const char* name;
    std::vector<StatusToken> reply;
    BOOL result;
    DWORD value;
  } cases[] = {
      {kQvl3820, "Installed Memory", {{TOK_CONFIG_MEMORY, 4194304}}, TRUE, 4406304},
      {kQvl3820, "installed memory", {{TOK_CONFIG_MEMORY, 4194304}}, TRUE, 4406304},
      {kOtherMaker,
       "AVAILABLE MEMORY",
       {{TOK_MEM_TOTAL, 1000}, {TOK_CONFIG_MEMORY, 9}},
       TRUE,
       1000},
      {kQvl5000, "Available Memory", {{TOK_MEM_TOTAL, 0}}, FALSE, kUntouched},  // 0: no answer
      {kOtherMaker, "Installed Memory", {}, FALSE, kUntouched},                 // never answers
  };
  for (const Case& c : cases) {
    lower = LowerMonitor();
    PortRecord* port = JobPort(c.deviceId);
    port->installedMemory = port->availableMemory = 77;  // stale: must not be the answer
    DWORD value = kUntouched, returned = 0;
    BOOL result;
    int reads;
    {
      ReadingThread thread(port, c.reply);
      result = Query(port, c.name, &value, 4, &returned);
      reads = thread.reads();
    }
    EXPECT_EQ(c.result, result) << c.deviceId << " " << c.name;
    EXPECT_EQ(c.value, value) << c.name;
    EXPECT_EQ(4u, returned);
    EXPECT_EQ(2, reads) << "two reads waited for";
  }
}

TEST_F(PrinterDataTest, ShortOrMissingOutputBuffer) {
  PortRecord* port = JobPort(kOtherMaker);
  ReadingThread thread(port, {{TOK_MEM_TOTAL, 1000}});
  BYTE out[4] = {1, 2, 3, 4};
  DWORD returned = 0;
  EXPECT_FALSE(GetPrinterDataFromPort(port, 0, const_cast<LPSTR>("Available Memory"), NULL, 0,
                                      reinterpret_cast<LPSTR>(out), 3, &returned));
  EXPECT_EQ(4u, returned);
  EXPECT_EQ(0, memcmp(out, "\1\2\3\4", 4)) << "nothing written";

  returned = 0;
  EXPECT_FALSE(GetPrinterDataFromPort(port, 0, const_cast<LPSTR>("Available Memory"), NULL, 0, NULL,
                                      4, &returned));
  EXPECT_EQ(4u, returned);
  EXPECT_EQ(1000u, port->availableMemory) << "the printer did answer";
}

TEST_F(PrinterDataTest, FailedSendChangesNothingAndTheCutRequestIsFinishedFirst) {
  PortRecord* port = JobPort(kQvl3820);
  lower.writeLimits = {10, 0};  // the port takes 10 bytes of the request, then nothing
  port->installedMemory = port->availableMemory = 77;
  ReadingThread thread(port, {{TOK_CONFIG_MEMORY, 5}});
  DWORD value = kUntouched, returned = kUntouched;
  EXPECT_FALSE(Query(port, "Installed Memory", &value, 4, &returned));
  EXPECT_EQ(77u, port->installedMemory);
  EXPECT_EQ(kUntouched, returned);
  EXPECT_FALSE(HasPortFlags(port, PF_USTATUS_ON));
  EXPECT_EQ(0, thread.reads()) << "no waiting after a failed send";
  // The printer must not read the job's data as the rest of a cut PJL command.
  DWORD written = 0;
  EXPECT_TRUE(WritePort(port, reinterpret_cast<LPBYTE>(const_cast<char*>("data")), 4, &written));
  EXPECT_EQ(kRequestConfigAndMemory + "data", lower.written);
  EXPECT_TRUE(HasPortFlags(port, PF_USTATUS_ON)) << "the whole request is out: replies are due";
}

// Once the spooler's data of a job has begun, a request would land in the middle of it: the
// query answers from the size the port holds and sends nothing.
TEST_F(PrinterDataTest, AnswersFromTheHeldSizesOnceTheJobsDataHasBegun) {
  PortRecord* port = JobPort(kOtherMaker);
  ReadingThread thread(port, {{TOK_MEM_TOTAL, 1000}});
  SetPortFlags(port, PF_IN_JOB | PF_JOB_DATA);
  port->installedMemory = 4096;
  DWORD value = kUntouched, returned = kUntouched;
  EXPECT_TRUE(Query(port, "Installed Memory", &value, 4, &returned));
  EXPECT_EQ(4096u, value);
  EXPECT_EQ(4u, returned);
  returned = kUntouched;
  EXPECT_FALSE(Query(port, "Available Memory", &value, 4, &returned)) << "0: nothing held";
  EXPECT_EQ(4u, returned);
  returned = kUntouched;
  EXPECT_FALSE(Query(port, "Paper Size", &value, 4, &returned));
  EXPECT_EQ(kUntouched, returned);
  EXPECT_EQ("", lower.written);
  EXPECT_EQ(0, thread.reads());
  // Before the job's data, as after EndDocPort, the query asks the printer.
  ClearPortFlags(port, PF_JOB_DATA);
  EXPECT_TRUE(Query(port, "Available Memory", &value, 4, &returned));
  EXPECT_EQ(1000u, value);
  EXPECT_EQ(kRequestPlain, lower.written);
}

TEST_F(PrinterDataTest, StatusThreadThatNeverReadsTimesOutTwice) {
  PortRecord* port = JobPort(kOtherMaker);  // a status thread alive, which never reads
  port->hWakeEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
  port->hReadDoneEvent = CreateEventA(NULL, TRUE, TRUE, NULL);
  FakeSetTimeScale(1, 50);  // the two 5000 ms waits last 100 ms each
  const auto start = std::chrono::steady_clock::now();
  DWORD value = 0, returned = 0;
  EXPECT_FALSE(Query(port, "Available Memory", &value, 4, &returned));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  FakeSetTimeScale(1, 1);
  EXPECT_GE(elapsed, std::chrono::milliseconds(190));
  EXPECT_LT(elapsed, std::chrono::seconds(2)) << "a spooler thread is held 10 s at most";
  EXPECT_EQ(4u, returned);
  CloseHandle(port->hWakeEvent);
  CloseHandle(port->hReadDoneEvent);
}

TEST_F(PrinterDataTest, DeviceControlsPassThroughWhileAJobIsOpen) {
  PortRecord* port = JobPort(kOtherMaker);
  char name[] = "x", in[4] = {}, out[8] = {};
  DWORD returned = 0;
  for (BOOL lowerResult : {TRUE, FALSE}) {
    lower.control.calls = 0;
    lower.controlResult = lowerResult;
    EXPECT_EQ(lowerResult, GetPrinterDataFromPort(port, 5, name, in, 4, out, 8, &returned));
    ASSERT_EQ(1, lower.control.calls);
    EXPECT_EQ(kLowerPort, lower.control.port);
    EXPECT_EQ(5u, lower.control.controlId);
    EXPECT_EQ(name, lower.control.valueName);
    EXPECT_EQ(in, lower.control.inBuffer);
    EXPECT_EQ(4u, lower.control.inSize);
    EXPECT_EQ(out, lower.control.outBuffer);
    EXPECT_EQ(8u, lower.control.outSize);
    EXPECT_EQ(&returned, lower.control.returned);
  }
  // Control 17 goes down as well.
  char deviceId[64];
  EXPECT_TRUE(GetPrinterDataFromPort(port, CONTROL_ID_DEVICE_ID, NULL, NULL, 0, deviceId,
                                     sizeof deviceId, &returned));
  EXPECT_EQ(1, lower.deviceIdCalls);
  EXPECT_STREQ(kOtherMaker, deviceId);

  port->portMonitor.pfnGetPrinterDataFromPort = NULL;
  EXPECT_FALSE(GetPrinterDataFromPort(port, 5, name, in, 4, out, 8, &returned));
}

TEST_F(PrinterDataTest, NothingWithoutAnOpenLowerJob) {
  PortRecord* port = JobPort(kQvl3820, PF_PJL_PRINTER);
  ReadingThread thread(port, {{TOK_CONFIG_MEMORY, 5}});
  char out[1024];
  DWORD returned = kUntouched;
  EXPECT_FALSE(GetPrinterDataFromPort(port, CONTROL_ID_DEVICE_ID, NULL, NULL, 0, out, sizeof out,
                                      &returned));
  EXPECT_FALSE(GetPrinterDataFromPort(port, 0, const_cast<LPSTR>("Installed Memory"), NULL, 0, out,
                                      sizeof out, &returned));
  EXPECT_EQ(0, lower.deviceIdCalls + lower.control.calls);
  EXPECT_EQ("", lower.written);
  EXPECT_EQ(kUntouched, returned);
  EXPECT_EQ(0, thread.reads());
}

}  // namespace
