// Races between spooler threads and status threads: job starts against thread exits, closes
// at any moment, several ports at once. Run under ThreadSanitizer too.
#include <atomic>
#include <thread>
#include <vector>

#include "monitor_fixture.h"

namespace {

using Concurrency = MonitorTest;

// Each job's end is reported by the printer at once, so the thread is often leaving just as
// the next job starts. The new job must keep its lower job, printer handle and thread.
TEST_F(Concurrency, JobStartsRaceThreadExitsWithoutLosingAJob) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  const DWORD kJobs = 150;
  for (DWORD job = 1; job <= kJobs; ++job) {
    ASSERT_TRUE(StartJob(port, job));
    std::string data = "job " + std::to_string(job) + "\f";
    ASSERT_EQ(Write(port, data), data.size());
    EXPECT_NE(LoadShared(&Rec(port)->hPrinter), nullptr) << "job " << job;
    EXPECT_TRUE(PortFlags(Rec(port)) & PF_JOB_OPEN) << "job " << job;
    table.pfnEndDocPort(port);
    ScriptedPortQueueReply("LPT1:", PjlJobEnd(job).c_str());
    if (job % 3 == 0) Sleep((job % 7) * 1000);  // 0 to 6 ms: vary the moment of the race
  }
  EXPECT_TRUE(table.pfnClosePort(port));
  ScriptedPortState s = ScriptedPortGetState("LPT1:");
  ASSERT_EQ(s.jobs.size(), kJobs);
  for (DWORD job = 1; job <= kJobs; ++job) {
    const ScriptedJob& j = s.jobs[job - 1];
    EXPECT_EQ(j.bytes, kPrefix + "job " + std::to_string(job) + "\f") << "job " << job;
    EXPECT_TRUE(j.ended) << "job " << job;
  }
  EXPECT_EQ(s.endDocs, static_cast<int>(kJobs)) << "every lower job ended exactly once";
  EXPECT_EQ(FakeSpoolerOpenHandles(), 0);
}

TEST_F(Concurrency, ManyPortsWithRepliesAndClosesAtAnyMoment) {
  const int kPorts = 8, kJobs = 25;
  std::vector<std::thread> spoolers;
  std::atomic<int> failures{0};
  for (int p = 0; p < kPorts; ++p) {
    spoolers.emplace_back([&, p] {
      std::string name = "PORT" + std::to_string(p) + ":";
      HANDLE port = Open(name.c_str(), p % 2 ? kMakerDeviceId : kGenericDeviceId);
      for (int job = 1; job <= kJobs; ++job) {
        if (!StartJob(port, job)) failures++;
        ScriptedPortQueueReply(
            name.c_str(), (p % 2 ? PlainCode(40022 + job % 3) : PjlDeviceStatus(40021)).c_str());
        std::string data(100 + job, 'a' + p);
        if (Write(port, data) != data.size()) failures++;
        Write(port, "");
        table.pfnEndDocPort(port);
        if (job % 2) ScriptedPortQueueReply(name.c_str(), PjlJobEnd(job).c_str());
      }
      table.pfnClosePort(port);
      ScriptedPortState s = ScriptedPortGetState(name.c_str());
      if (static_cast<int>(s.jobs.size()) != kJobs || s.endDocs != kJobs) failures++;
    });
  }
  for (auto& t : spoolers) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(FakeSpoolerOpenHandles(), 0);
}

TEST_F(Concurrency, CloseRightAfterTheThreadStartsWaitsForIt) {
  for (int i = 0; i < 50; ++i) {
    HANDLE port = Open("LPT1:", kGenericDeviceId);
    ASSERT_TRUE(StartJob(port, 1));
    table.pfnEndDocPort(port);
    ASSERT_TRUE(table.pfnClosePort(port));
  }
  EXPECT_TRUE(WaitFor([] { return FakeRunningThreads() == 0; }));
}

}  // namespace
