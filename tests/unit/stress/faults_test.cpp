// Faults the stress run found, each reduced to a test of its own.
#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "monitor/monitor_fixture.h"
#include "printer_data.h"

namespace {

class Faults : public MonitorTest {
 protected:
  // A memory query as a spooler client makes it; the answer does not matter here.
  void QueryInstalledMemory(HANDLE port) {
    char out[4];
    DWORD returned = 0;
    table.pfnGetPrinterDataFromPort(port, 0, const_cast<LPSTR>("Installed Memory"), nullptr, 0, out,
                                    sizeof out, &returned);
  }
  // One job whose port monitor takes at most limit bytes in each of its next calls writes; the
  // spooler writes again while nothing is taken. Returns the bytes the printer received.
  std::string JobThroughLimitedWrites(int calls, DWORD limit, const std::string& data) {
    HANDLE port = Open("LPT1:", kGenericDeviceId);
    EXPECT_TRUE(StartJob(port, 1));
    ScriptedPortLimitWrites("LPT1:", calls, limit);
    DWORD written = 0;
    for (int tries = 0; tries < 3 && written == 0; ++tries) written = Write(port, data);
    EXPECT_EQ(written, data.size());
    table.pfnEndDocPort(port);
    table.pfnClosePort(port);
    return ScriptedPortGetState("LPT1:").jobs.at(0).bytes;
  }
};

// A memory query while the spooler writes a job's data put its request, framed by universal
// exits, between two pieces of the job: the printer's job language ended there. Once the job's
// data has begun, a query sends nothing until EndDocPort.
TEST_F(Faults, MemoryQueryDuringAJobsDataSendsNothingIntoIt) {
  const std::string request = "\x1b%-12345X@PJL INFO CONFIG\r\n@PJL INFO MEMORY\r\n\x1b%-12345X";
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJob(port, 1));
  ASSERT_EQ(Write(port, "page one\f"), 9u);
  QueryInstalledMemory(port);
  ASSERT_EQ(Write(port, "page two\f"), 9u);
  table.pfnEndDocPort(port);
  QueryInstalledMemory(port);  // the job's data is out: the request may go now
  table.pfnClosePort(port);
  EXPECT_EQ(ScriptedPortGetState("LPT1:").jobs.at(0).bytes,
            kPrefix + "page one\fpage two\f" + request);
}

long long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

// A memory query that waits for the status thread's reads while the thread leaves (the printer
// reported the job's end) waits out its full read time-out: the thread closes the read-done
// event without signalling it. At the tests' time scale that is 180 ms per read, 6 minutes in
// real time. So the thread signals hReadDoneEvent before it closes it, and a ReadReplies that
// finds no lower job signals it too (a read with nothing to do is done).
TEST_F(Faults, MemoryQueryDoesNotWaitForAThreadThatLeft) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  long long slowest = 0;
  for (DWORD job = 1; job <= 10; ++job) {
    ASSERT_TRUE(StartJob(port, job));
    ASSERT_EQ(Write(port, "data"), 4u);
    table.pfnEndDocPort(port);  // deferred: the thread drains
    std::thread query([&] {
      auto began = std::chrono::steady_clock::now();
      QueryInstalledMemory(port);
      long long ms = ElapsedMs(began);
      if (ms > slowest) slowest = ms;
    });
    ScriptedPortQueueReply("LPT1:", PjlJobEnd(job).c_str());
    query.join();
    ASSERT_TRUE(WaitFor([&] { return !(PortFlags(Rec(port)) & PF_THREAD_ALIVE); }));
  }
  // 50 ms here is 50 s of the monitor's time; a read comes every 2 ms.
  EXPECT_LT(slowest, 50) << "a query waited for reads of a status thread that had left";
  table.pfnClosePort(port);
}

// The port monitor takes only part of the first prefix line: the printer must still receive
// the prefix once and whole, not a broken universal exit followed by a second prefix.
// So WritePort remembers how much of the prefix is out and writes only the rest.
TEST_F(Faults, PartlyWrittenFirstPrefixLineIsFinishedNotRestarted) {
  EXPECT_EQ(JobThroughLimitedWrites(1, 5, "page one\f"), kPrefix + "page one\f");
}

// The second prefix line's write is not examined: when the port monitor takes only part of it,
// the job's data follows a cut PJL command and the printer reads the data's first line as the
// rest of that command. The line must be finished before any data goes.
TEST_F(Faults, PartlyWrittenSecondPrefixLineIsFinishedBeforeTheData) {
  // line 1 (15 bytes) whole, line 2 (24) cut at 20
  EXPECT_EQ(JobThroughLimitedWrites(2, 20, "page one\f"), kPrefix + "page one\f");
}

// A memory query may be writing the prefix owed by a job that wrote nothing when the spooler
// ends that job and starts the next. The two must not share the prefix: the job start waits
// for the query, and the new job's own prefix goes out whole, once, before its data. Before
// the prefix lock, the job start reset the count of prefix bytes under the query's feet, both
// wrote the prefix at once, and a universal exit from the query landed after the job's data.
std::atomic<bool> slowUniversalExit{false};
std::atomic<bool> slowWriteBegan{false};
BOOL(WINAPI* lowerWritePort)(HANDLE, LPBYTE, DWORD, LPDWORD) = nullptr;

BOOL WINAPI SlowUniversalExitWrite(HANDLE port, LPBYTE data, DWORD count, LPDWORD written) {
  if (count >= 9 && memcmp(data, "\x1b%-12345X", 9) == 0 && slowUniversalExit.exchange(false)) {
    slowWriteBegan = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return lowerWritePort(port, data, count, written);
}

TEST_F(Faults, QueryWritingAnEmptyJobsPrefixDoesNotShareItWithTheNextJob) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  lowerWritePort = Rec(port)->portMonitor.pfnWritePort;
  Rec(port)->portMonitor.pfnWritePort = SlowUniversalExitWrite;
  slowWriteBegan = false;
  slowUniversalExit = true;
  ASSERT_TRUE(StartJob(port, 1));  // owes the prefix and writes nothing
  std::thread query([&] { QueryInstalledMemory(port); });
  ASSERT_TRUE(WaitFor([] { return slowWriteBegan.load(); }));
  table.pfnEndDocPort(port);
  ASSERT_TRUE(StartJob(port, 2));
  EXPECT_EQ(Write(port, "data"), 4u);
  query.join();
  table.pfnEndDocPort(port);
  table.pfnClosePort(port);
  std::string all;
  for (const auto& job : ScriptedPortGetState("LPT1:").jobs) all += job.bytes;
  const size_t data = all.rfind(kPrefix + "data");
  ASSERT_NE(data, std::string::npos) << "the second job's prefix is not whole before its data";
  EXPECT_EQ(all.find("\x1b%-12345X", data + kPrefix.size()), std::string::npos)
      << "a universal exit came after the job's data";
}

}  // namespace
