// The monitor under load and faults: many ports, each driven by its own spooler thread through
// many jobs, with printer replies, random job-end reports, closes at random moments, memory
// queries from other threads and port monitor faults (partial and zero writes, failed reads,
// failed job starts). Checked afterwards, from what the scripted port monitor recorded:
//   - every job's data reached the printer exactly once and in order (a job cut short by a
//     close delivered an in-order beginning of its data, and was sent again whole);
//   - every lower job was ended exactly once, so every deferred job end completed;
//   - every memory reply was applied at most once, and none was lost except one cut in two by a
//     close or by the end of its lower job (the half already read is forgotten then, so that
//     it cannot swallow the next job's first reply);
//   - no printer handle or status thread is left behind.
// A watchdog ends the run with a report of what each port was doing if it takes too long.
//
// Sizes: QVL_STRESS_PORTS (8), QVL_STRESS_JOBS (30), QVL_STRESS_SEED (fixed), and
// QVL_STRESS_WATCHDOG_S (90). scripts/stress runs it with 32 ports x 200 jobs.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/monitor_fixture.h"

namespace {

int EnvInt(const char* name, int fallback) {
  const char* text = getenv(name);
  return text && *text ? atoi(text) : fallback;
}

// What a port's spooler thread is doing, for the watchdog's report.
enum Op { OP_IDLE, OP_OPEN, OP_START, OP_WRITE, OP_END, OP_CLOSE, OP_WAIT_DRAIN, OP_DONE };
const char* const kOpNames[] = {"idle",       "OpenPortEx", "StartDocPort",        "WritePort",
                                "EndDocPort", "ClosePort",  "waiting for job end", "done"};

// One StartDocPort that succeeded: which job it carried and whether a close cut it short.
struct Attempt {
  int job;
  bool complete;
};

struct PortRun {
  std::string name;
  bool maker = false;
  std::shared_mutex life;  // held shared by memory queries, exclusive around open and close
  HANDLE handle = nullptr;
  std::atomic<int> op{OP_IDLE};
  std::atomic<int> job{0};
  std::vector<std::string> data;  // per job: lowercase letters only
  std::vector<Attempt> attempts;
  std::vector<DWORD> repliesQueued;  // memory values queued as replies
  int closes = 0;                    // before the last job's end: each may cut one reply in two
  int startsWithReplyUnread = 0;     // job starts that ended a lower job while replies came
  std::string failure;               // first failure seen by the spooler thread
};

// Everything the monitor itself writes (prefix, memory requests) is upper case, digits and
// punctuation; the job data is lowercase letters only, so the job data a printer received can
// be read back out of the byte stream without knowing where the monitor's writes fell.
std::string LowercaseOnly(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    if (c >= 'a' && c <= 'z') out += c;
  }
  return out;
}

std::atomic<DWORD> nextMemoryValue{400000};

std::string MemoryReply(bool maker, DWORD value) {
  if (!maker) return PjlMemory(value);
  char text[128];
  snprintf(text, sizeof text, "INFO MEMORY\r\nTOTAL=%u\r\n\f", static_cast<unsigned>(value));
  return text;
}

class Stress : public MonitorTest {
 protected:
  // The spooler's side of one port: open, jobs, closes at random moments.
  void RunPort(PortRun* run, unsigned seed);
  bool OpenRun(PortRun* run);
  void CloseRun(PortRun* run);
  // Writes the whole text, retrying the unwritten rest as the spooler does.
  bool WriteAll(PortRun* run, const std::string& text, size_t from, size_t to, std::mt19937& rng);
  void Fail(PortRun* run, const std::string& why) {
    if (run->failure.empty()) run->failure = why;
  }
};

bool Stress::OpenRun(PortRun* run) {
  run->op = OP_OPEN;
  std::unique_lock<std::shared_mutex> hold(run->life);
  HANDLE handle = nullptr;
  if (!table.pfnOpenPortEx(const_cast<LPSTR>(run->name.c_str()),
                           const_cast<LPSTR>("Office Printer"), &handle, ScriptedPortMonitor())) {
    Fail(run, "OpenPortEx failed");
    return false;
  }
  run->handle = handle;
  return true;
}

void Stress::CloseRun(PortRun* run) {
  run->op = OP_CLOSE;
  std::unique_lock<std::shared_mutex> hold(run->life);
  table.pfnClosePort(run->handle);
  run->handle = nullptr;
}

bool Stress::WriteAll(PortRun* run, const std::string& text, size_t from, size_t to,
                      std::mt19937& rng) {
  run->op = OP_WRITE;
  size_t at = from;
  int noProgress = 0;
  while (at < to) {
    DWORD count = static_cast<DWORD>(to - at);
    // Faults of the port monitor for this call: nothing written, or only part (of the prefix,
    // when it is still to go, or of the data).
    unsigned roll = rng() % 100;
    if (roll < 4) {
      ScriptedPortLimitWrites(run->name.c_str(), 1, 0);
    } else if (roll < 10 && count > 1) {
      ScriptedPortLimitWrites(run->name.c_str(), 1, 1 + rng() % (count - 1));
    }
    DWORD written = 0;
    table.pfnWritePort(run->handle, reinterpret_cast<LPBYTE>(const_cast<char*>(text.data() + at)),
                       count, &written);
    ScriptedPortLimitWrites(run->name.c_str(), 0, 0);  // a fault nobody took is withdrawn
    if (written > count) {
      Fail(run, "WritePort reported more bytes than it was given");
      return false;
    }
    if (written == 0) {
      if (++noProgress > 1000) {
        Fail(run, "WritePort wrote nothing 1000 times in a row");
        return false;
      }
      std::this_thread::yield();
      continue;
    }
    noProgress = 0;
    at += written;
  }
  return true;
}

void Stress::RunPort(PortRun* run, unsigned seed) {
  std::mt19937 rng(seed);
  const char* name = run->name.c_str();
  if (!OpenRun(run)) return;
  const int jobs = static_cast<int>(run->data.size());
  for (int job = 1; job <= jobs; ++job) {
    run->job = job;
    const std::string& data = run->data[job - 1];
    bool last = job == jobs;

    // Between jobs, now and then, the spooler closes and reopens the port.
    if (!last && rng() % 12 == 0) {
      CloseRun(run);
      run->closes++;
      if (!OpenRun(run)) return;
    }
    if (rng() % 8 == 0) ScriptedPortFailReads(name, 1 + static_cast<int>(rng() % 3));
    if (rng() % 4 == 0)
      ScriptedPortSetReadChunk(name, 1 + rng() % 40);
    else
      ScriptedPortSetReadChunk(name, 0);

    run->op = OP_START;
    // The start ends a lower job still draining; a reply the thread has read in part is
    // forgotten with it.
    if (ScriptedPortPendingReply(name) != 0) run->startsWithReplyUnread++;
    if (rng() % 8 == 0) ScriptedPortFailStartDoc(name, 1 + static_cast<int>(rng() % 2));
    int starts = 0;
    while (!StartJob(run->handle, static_cast<DWORD>(job))) {
      if (++starts > 10) {
        Fail(run, "StartDocPort failed 10 times for job " + std::to_string(job));
        return;
      }
    }
    run->attempts.push_back(Attempt{job, false});

    // The job's data in pieces, with printer replies and perhaps an early job-end report
    // between them, and perhaps a close in the middle.
    const int endReport = static_cast<int>(rng() % 4);  // 0 early, 1-2 after EndDocPort, 3 none
    const bool cutShort = !last && rng() % 15 == 0;
    size_t at = 0;
    while (at < data.size()) {
      size_t piece = 1 + rng() % 3000;
      size_t to = std::min(data.size(), at + piece);
      if (cutShort && to == data.size()) to = at + (to - at) / 2;
      if (to == at) break;
      if (!WriteAll(run, data, at, to, rng)) return;
      at = to;
      if (rng() % 3 == 0) {
        DWORD value = nextMemoryValue.fetch_add(1);
        run->repliesQueued.push_back(value);
        std::string reply = MemoryReply(run->maker, value);
        ScriptedPortQueueReply(name, reply.data(), reply.size());
        Write(run->handle, "");  // a write of nothing wakes the status thread
      }
      // An early end report (before EndDocPort) only on jobs before the last: read after the
      // job's end, it ends the status thread, and replies queued behind it wait for the next
      // job, which the last job has not.
      if (endReport == 0 && !last && rng() % 4 == 0) {
        ScriptedPortQueueReply(name, PjlJobEnd(job).c_str());
      }
      if (cutShort && at < data.size()) break;
    }
    if (cutShort && at < data.size()) {
      // Closed in the middle of the job; the spooler sends the job again on the new port.
      CloseRun(run);
      run->closes++;
      if (!OpenRun(run)) return;
      --job;
      continue;
    }
    run->attempts.back().complete = true;

    run->op = OP_END;
    table.pfnEndDocPort(run->handle);
    if (endReport == 1 || endReport == 2 || (last && !run->maker)) {
      ScriptedPortQueueReply(name, PjlJobEnd(job).c_str());
    }
    if (rng() % 10 == 0) {
      // A close while the job drains (or soon after).
      if (rng() % 2) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
      if (!last) {
        CloseRun(run);
        run->closes++;
        if (!OpenRun(run)) return;
      }
    }
  }

  // The last job: every reply is read, and a printer that reports job ends ends the job itself.
  run->op = OP_WAIT_DRAIN;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto drained = [&] {
    if (ScriptedPortPendingReply(name) != 0) return false;
    if (run->maker) return true;
    ScriptedPortState s = ScriptedPortGetState(name);
    return !s.jobs.empty() && s.jobs.back().ended;
  };
  while (!drained()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ScriptedPortState s = ScriptedPortGetState(name);
      char why[200];
      snprintf(why, sizeof why,
               "the last job's replies or its reported end were never handled: %zu reply bytes "
               "unread, lower job %s, port flags 0x%x",
               ScriptedPortPendingReply(name), s.jobOpen ? "open" : "ended",
               static_cast<unsigned>(PortFlags(static_cast<PortRecord*>(run->handle))));
      Fail(run, why);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  CloseRun(run);
  run->op = OP_DONE;
}

// Installed Memory queries on random ports from threads of their own, as a spooler client asks
// for printer data while jobs run.
void QueryLoop(std::vector<PortRun>* runs, MONITOR* table, std::atomic<bool>* stop,
               std::atomic<int>* queries, std::atomic<long>* slowestMs, unsigned seed) {
  std::mt19937 rng(seed);
  while (!*stop) {
    PortRun& run = (*runs)[rng() % runs->size()];
    {
      std::shared_lock<std::shared_mutex> hold(run.life);
      if (run.handle) {
        char out[4] = {};
        DWORD returned = 0;
        const auto began = std::chrono::steady_clock::now();
        table->pfnGetPrinterDataFromPort(run.handle, 0, const_cast<LPSTR>("Installed Memory"),
                                         nullptr, 0, out, sizeof out, &returned);
        ++*queries;
        long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - began)
                                        .count());
        long seen = slowestMs->load();
        while (ms > seen && !slowestMs->compare_exchange_weak(seen, ms)) {
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 800));
  }
}

TEST_F(Stress, PortsJobsRepliesClosesQueriesAndFaults) {
  const int ports = EnvInt("QVL_STRESS_PORTS", 8);
  const int jobs = EnvInt("QVL_STRESS_JOBS", 30);
  const unsigned seed = static_cast<unsigned>(EnvInt("QVL_STRESS_SEED", 20240611));
  const int watchdogSeconds = EnvInt("QVL_STRESS_WATCHDOG_S", 90);
  printf("stress: %d ports x %d jobs, seed %u\n", ports, jobs, seed);

  std::vector<PortRun> runs(ports);
  std::mt19937 dataRng(seed);
  for (int p = 0; p < ports; ++p) {
    PortRun& run = runs[p];
    run.name = "STRESS" + std::to_string(p) + ":";
    run.maker = p % 3 == 2;
    ScriptedPortSetDeviceId(run.name.c_str(), run.maker ? kMakerDeviceId : kGenericDeviceId);
    for (int j = 0; j < jobs; ++j) {
      std::string data(1 + dataRng() % 12000, 'a');
      for (char& c : data) c = static_cast<char>('a' + dataRng() % 26);
      run.data.push_back(data);
    }
  }

  // The watchdog: a hang anywhere ends the run with the state of every port.
  std::mutex doneLock;
  std::condition_variable doneChanged;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> hold(doneLock);
    if (doneChanged.wait_for(hold, std::chrono::seconds(watchdogSeconds), [&] { return done; })) {
      return;
    }
    fprintf(stderr, "stress: watchdog: no end after %d s; ports now:\n", watchdogSeconds);
    for (PortRun& run : runs) {
      fprintf(stderr, "  %s job %d: in %s\n", run.name.c_str(), run.job.load(),
              kOpNames[run.op.load()]);
    }
    fflush(stderr);
    abort();
  });

  std::atomic<bool> stopQueries{false};
  std::atomic<int> queries{0};
  std::atomic<long> slowestQueryMs{0};
  std::vector<std::thread> threads;
  for (int q = 0; q < 2; ++q) {
    threads.emplace_back(QueryLoop, &runs, &table, &stopQueries, &queries, &slowestQueryMs,
                         seed + 1000 + q);
  }
  std::vector<std::thread> spoolers;
  for (int p = 0; p < ports; ++p) {
    spoolers.emplace_back([this, &runs, p, seed] { RunPort(&runs[p], seed + p); });
  }
  for (std::thread& t : spoolers) t.join();
  stopQueries = true;
  for (std::thread& t : threads) t.join();
  {
    std::lock_guard<std::mutex> hold(doneLock);
    done = true;
  }
  doneChanged.notify_all();
  watchdog.join();

  // Memory values the spooler heard of, by value.
  std::map<DWORD, int> applied;
  for (int i = 0, n = FakeSpoolerCallCount(); i < n; ++i) {
    FakeSpoolerCall call = FakeSpoolerCallAt(i);
    if (call.kind == SPOOL_SET_PRINTER_DATA && strcmp(call.name, "Available Memory") == 0) {
      applied[call.value]++;
    }
  }

  int checkedJobs = 0, repliesApplied = 0, repliesLost = 0;
  for (PortRun& run : runs) {
    SCOPED_TRACE(run.name);
    EXPECT_EQ(run.failure, "");
    ScriptedPortState s = ScriptedPortGetState(run.name.c_str());
    ASSERT_EQ(s.jobs.size(), run.attempts.size()) << "one lower job per successful StartDocPort";
    EXPECT_EQ(s.endDocs, static_cast<int>(s.jobs.size())) << "each lower job ended exactly once";
    EXPECT_FALSE(s.open) << "the port monitor's port is closed";
    for (size_t i = 0; i < s.jobs.size(); ++i) {
      const Attempt& a = run.attempts[i];
      const std::string& want = run.data[a.job - 1];
      std::string got = LowercaseOnly(s.jobs[i].bytes);
      EXPECT_EQ(s.jobs[i].jobId, static_cast<DWORD>(a.job));
      EXPECT_TRUE(s.jobs[i].ended) << "job " << a.job << " never ended";
      if (a.complete) {
        EXPECT_TRUE(got == want) << "job " << a.job << ": " << got.size() << " data bytes of "
                                 << want.size() << " arrived, or not in order";
        ++checkedJobs;
      } else {
        EXPECT_TRUE(want.compare(0, got.size(), got) == 0)
            << "job " << a.job << " (cut short): not an in-order beginning of its data";
      }
    }
    int lost = 0;
    for (DWORD value : run.repliesQueued) {
      int times = applied.count(value) ? applied[value] : 0;
      EXPECT_LE(times, 1) << "memory reply " << value << " applied " << times << " times";
      if (times == 0) ++lost;
      repliesApplied += times;
    }
    repliesLost += lost;
    EXPECT_LE(lost, run.closes + run.startsWithReplyUnread)
        << "replies lost beyond those a close or a lower job's end cut in two";
  }
  printf(
      "stress: %d whole jobs checked, %d replies applied, %d lost to closes and job ends, %d "
      "queries "
      "(slowest %ld ms, at 1/1000 time scale)\n",
      checkedJobs, repliesApplied, repliesLost, queries.load(), slowestQueryMs.load());
  EXPECT_EQ(FakeSpoolerOpenHandles(), 0);
}

}  // namespace
