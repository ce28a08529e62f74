// The monitor under load, each figure next to a reference measured in the same run:
//   Passthrough      job data through the monitor's WritePort against the same writes straight
//                    to the port monitor below, alternating, with a status thread running;
//   StatusLatency    a device status reply queued in a job, then a WritePort that writes nothing,
//                    until the spooler sees SetPrinterA; reference: the stand-in's event wake-up
//                    of a waiting thread, sampled alternately; and a few samples between jobs,
//                    where the 2000 ms poll bounds the latency;
//   ManyPorts        256 ports with a status thread each, jobs with replies at once: delivery and
//                    replies checked, memory per port, CPU while every port idles.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "discard_port_monitor.h"
#include "fake_kernel.h"
#include "fake_spooler.h"
#include "monitor_entry.h"
#include "port_record.h"
#include "printer_texts.h"
#include "scripted_port_monitor.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ns(Clock::duration d) {
  return std::chrono::duration<double, std::nano>(d).count();
}

MONITOR MonitorTable() {
  MONITOR table{};
  InitializeMonitorEx(nullptr, &table);
  return table;
}

BOOL StartJob(MONITOR& table, HANDLE port, DWORD jobId) {
  DOC_INFO_1A info{};
  info.pDocName = const_cast<LPSTR>("bench");
  return table.pfnStartDocPort(port, const_cast<LPSTR>("Bench Printer"), jobId, 1,
                               reinterpret_cast<LPBYTE>(&info));
}

DWORD Write(MONITOR& table, HANDLE port, const void* data, DWORD count) {
  DWORD written = 0;
  table.pfnWritePort(port, static_cast<LPBYTE>(const_cast<void*>(data)), count, &written);
  return written;
}

// Waits (real time) for cond, at most ms milliseconds.
template <typename F>
bool WaitFor(F cond, int ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!cond()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void ClosePortsAndSettle(MONITOR& table, const std::vector<HANDLE>& ports) {
  for (HANDLE port : ports) table.pfnClosePort(port);
  WaitFor([] { return FakeRunningThreads() == 0; }, 10000);
}

// ---- Passthrough

void BM_Passthrough(benchmark::State& state) {
  const DWORD chunk = static_cast<DWORD>(state.range(0));
  const size_t total = 256u << 20;
  FakeSetTimeScale(1, 1);
  FakeSpoolerReset(true);
  MONITOR table = MonitorTable();
  MONITOR* lower = DiscardPortMonitor();
  HANDLE port = nullptr, direct = nullptr;
  if (!table.pfnOpenPortEx(const_cast<LPSTR>("PASS1:"), const_cast<LPSTR>("Bench Printer"), &port,
                           lower) ||
      !lower->pfnOpenPort(const_cast<LPSTR>("PASS1:"), &direct) || !StartJob(table, port, 1)) {
    state.SkipWithError("port or job did not open");
    return;
  }
  std::vector<BYTE> data(chunk, 'x');
  Write(table, port, data.data(), chunk);  // the prefix goes out with the first write
  if (FakeRunningThreads() != 1 || !(PortFlags(static_cast<PortRecord*>(port)) & PF_USTATUS_ON)) {
    state.SkipWithError("printer not identified or no status thread");
    return;
  }

  // Each iteration times both sides back to back; the figure is the median of the iterations'
  // ratios, so a pause of the shared machine spoils one pair rather than the result.
  double referenceNs = 0, monitorNs = 0;
  std::vector<double> ratios;
  bool monitorFirst = false;
  for (auto _ : state) {
    double pair[2] = {0, 0};  // direct, monitor
    for (int pass = 0; pass < 2; ++pass) {
      const bool throughMonitor = (pass == 0) == monitorFirst;
      const auto began = Clock::now();
      for (size_t done = 0; done < total; done += chunk) {
        DWORD written = 0;
        if (throughMonitor) {
          table.pfnWritePort(port, data.data(), chunk, &written);
        } else {
          lower->pfnWritePort(direct, data.data(), chunk, &written);
        }
      }
      pair[throughMonitor ? 1 : 0] = Ns(Clock::now() - began);
    }
    referenceNs += pair[0];
    monitorNs += pair[1];
    ratios.push_back(pair[0] / pair[1]);
    monitorFirst = !monitorFirst;  // neither side always runs first
  }
  std::sort(ratios.begin(), ratios.end());
  const double mib = static_cast<double>(total) * state.iterations() / (1 << 20);
  state.counters["monitor_MiB_per_s"] = mib / (monitorNs / 1e9);
  state.counters["direct_MiB_per_s"] = mib / (referenceNs / 1e9);
  // Monitor throughput over direct throughput, and the monitor's cost per WritePort call.
  state.counters["ratio"] = ratios[ratios.size() / 2];
  state.counters["added_ns_per_write"] =
      (monitorNs - referenceNs) / (static_cast<double>(total / chunk) * state.iterations());
  table.pfnEndDocPort(port);
  lower->pfnClosePort(direct);
  ClosePortsAndSettle(table, {port});
}
BENCHMARK(BM_Passthrough)->Arg(4096)->Arg(65536)->Iterations(15)->Unit(benchmark::kMillisecond);

// ---- Status latency

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[i];
}

// A reply queued while a job runs reaches the spooler when the next WritePort that writes
// nothing wakes the status thread.
void BM_StatusLatency(benchmark::State& state) {
  const int kSamples = 1000;
  FakeSetTimeScale(1, 1);
  FakeSpoolerReset(true);
  ScriptedPortsReset();
  ScriptedPortSetDeviceId("LAT1:", kGenericDeviceId);
  MONITOR table = MonitorTable();

  // The reference: a thread waiting on an event of the stand-in, woken by SetEvent.
  HANDLE refEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> refSeen{0};
  std::atomic<bool> refStop{false};
  std::thread refThread([&] {
    while (!refStop) {
      WaitForSingleObject(refEvent, INFINITE);
      refSeen.fetch_add(1);
    }
  });

  std::vector<double> inJob, reference, betweenJobs;
  for (auto _ : state) {
    HANDLE port = nullptr;
    if (!table.pfnOpenPortEx(const_cast<LPSTR>("LAT1:"), const_cast<LPSTR>("Bench Printer"), &port,
                             ScriptedPortMonitor()) ||
        !StartJob(table, port, 1)) {
      state.SkipWithError("port or job did not open");
      break;
    }
    Write(table, port, "x", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the thread waits for a wake
    for (int i = 0; i < kSamples; ++i) {
      // Reference sample.
      int seen = refSeen.load();
      auto began = Clock::now();
      SetEvent(refEvent);
      while (refSeen.load() == seen) sched_yield();
      reference.push_back(Ns(Clock::now() - began));

      // Monitor sample: the code alternates, so every reply changes the status.
      std::string reply = PjlDeviceStatus(i % 2 ? 40021 : 40022);
      int calls = FakeSpoolerCallCount();
      ScriptedPortQueueReply("LAT1:", reply.data(), reply.size());
      began = Clock::now();
      Write(table, port, "", 0);
      while (FakeSpoolerCallCount() == calls) sched_yield();
      inJob.push_back(Ns(Clock::now() - began));
    }

    // Between jobs the thread polls every 2000 ms: a few samples at real time.
    table.pfnEndDocPort(port);  // deferred: the prefix asked for status
    for (int i = 0; i < 4; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(137 * (i + 1)));
      std::string reply = PjlDeviceStatus(i % 2 ? 40021 : 40022);  // the last in-job one was 40021
      int calls = FakeSpoolerCallCount();
      ScriptedPortQueueReply("LAT1:", reply.data(), reply.size());
      auto began = Clock::now();
      if (!WaitFor([&] { return FakeSpoolerCallCount() != calls; }, 10000)) {
        state.SkipWithError("a reply between jobs was not applied within 10 s");
        break;
      }
      betweenJobs.push_back(Ns(Clock::now() - began));
    }
    ClosePortsAndSettle(table, {port});
  }
  refStop = true;
  SetEvent(refEvent);
  refThread.join();
  CloseHandle(refEvent);
  if (inJob.empty()) return;
  state.counters["in_job_median_us"] = Percentile(inJob, 0.5) / 1e3;
  state.counters["in_job_p99_us"] = Percentile(inJob, 0.99) / 1e3;
  state.counters["event_wake_median_us"] = Percentile(reference, 0.5) / 1e3;
  state.counters["event_wake_p99_us"] = Percentile(reference, 0.99) / 1e3;
  state.counters["p99_ratio_to_wake"] = Percentile(inJob, 0.99) / Percentile(reference, 0.99);
  state.counters["between_jobs_max_ms"] = Percentile(betweenJobs, 1.0) / 1e6;
  state.counters["between_jobs_median_ms"] = Percentile(betweenJobs, 0.5) / 1e6;
}
BENCHMARK(BM_StatusLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- Many ports

long RssBytes() {
  long pages = 0, resident = 0;
  FILE* f = fopen("/proc/self/statm", "r");
  if (!f) return 0;
  if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  fclose(f);
  return resident * sysconf(_SC_PAGESIZE);
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_ManyPorts(benchmark::State& state) {
  const int kPorts = static_cast<int>(state.range(0));
  const int kDrivers = 8;
  const size_t kJobBytes = 64 * 1024;
  FakeSetTimeScale(1, 1);
  FakeSpoolerReset(true);
  ScriptedPortsReset();
  MONITOR table = MonitorTable();
  std::vector<std::string> names(kPorts);
  std::vector<std::string> data(kPorts);
  for (int p = 0; p < kPorts; ++p) {
    names[p] = "MANY" + std::to_string(p) + ":";
    ScriptedPortSetDeviceId(names[p].c_str(), kGenericDeviceId);
    data[p].assign(kJobBytes, static_cast<char>('a' + p % 26));
  }
  auto driveAll = [&](auto step) {
    std::vector<std::thread> drivers;
    for (int d = 0; d < kDrivers; ++d) {
      drivers.emplace_back([&, d] {
        for (int p = d; p < kPorts; p += kDrivers) step(p);
      });
    }
    for (std::thread& t : drivers) t.join();
  };

  for (auto _ : state) {
    malloc_trim(0);
    const long rssBefore = RssBytes();
    const size_t heapBefore = mallinfo2().uordblks;
    std::vector<HANDLE> ports(kPorts);
    std::atomic<int> failures{0};
    // All jobs run at once: every port opens and starts its job, then the data and a reply.
    driveAll([&](int p) {
      if (!table.pfnOpenPortEx(const_cast<LPSTR>(names[p].c_str()),
                               const_cast<LPSTR>("Bench Printer"), &ports[p],
                               ScriptedPortMonitor()) ||
          !StartJob(table, ports[p], static_cast<DWORD>(p + 1))) {
        failures++;
      }
    });
    // The monitor's own memory: every port open, in its job, with its status thread waiting.
    // Measured before any job data, of which the scripted port monitor keeps copies.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long rssLoaded = RssBytes();
    const size_t heapLoaded = mallinfo2().uordblks;
    const int threads = FakeRunningThreads();
    driveAll([&](int p) {
      for (size_t at = 0; at < kJobBytes; at += 4096) {
        if (Write(table, ports[p], data[p].data() + at, 4096) != 4096) failures++;
      }
      std::string reply = PjlMemory(400000 + p);
      ScriptedPortQueueReply(names[p].c_str(), reply.data(), reply.size());
      Write(table, ports[p], "", 0);
    });
    const bool replied =
        WaitFor([&] { return FakeSpoolerCount(SPOOL_SET_PRINTER_DATA) >= kPorts; }, 20000);
    driveAll([&](int p) { table.pfnEndDocPort(ports[p]); });

    // Every port now idles between jobs: its thread polls the printer every 2000 ms.
    const double cpuBefore = CpuSeconds();
    const auto idleBegan = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    const double idleSeconds = std::chrono::duration<double>(Clock::now() - idleBegan).count();
    const double idleCpu = CpuSeconds() - cpuBefore;

    // The printers report the jobs' ends; the threads end the lower jobs and leave.
    for (int p = 0; p < kPorts; ++p) {
      std::string end = PjlJobEnd(static_cast<unsigned>(p + 1));
      ScriptedPortQueueReply(names[p].c_str(), end.data(), end.size());
    }
    const bool left = WaitFor([] { return FakeRunningThreads() == 0; }, 10000);
    ClosePortsAndSettle(table, ports);

    // Checks: each job's bytes once and whole, each reply applied exactly once.
    std::map<DWORD, int> applied;
    for (int i = 0, n = FakeSpoolerCallCount(); i < n; ++i) {
      FakeSpoolerCall call = FakeSpoolerCallAt(i);
      if (call.kind == SPOOL_SET_PRINTER_DATA && strcmp(call.name, "Available Memory") == 0) {
        applied[call.value]++;
      }
    }
    int badJobs = 0, badReplies = 0;
    for (int p = 0; p < kPorts; ++p) {
      ScriptedPortState s = ScriptedPortGetState(names[p].c_str());
      if (s.jobs.size() != 1 || s.jobs[0].bytes != kPrefix + data[p] || !s.jobs[0].ended ||
          s.endDocs != 1) {
        badJobs++;
      }
      if (applied[400000 + p] != 1) badReplies++;
    }
    if (failures || !replied || !left || badJobs || badReplies || threads != kPorts) {
      char why[160];
      snprintf(why, sizeof why,
               "failures %d, replies in time %d, threads %d, left %d, bad jobs %d, bad replies %d",
               failures.load(), replied, threads, left, badJobs, badReplies);
      state.SkipWithError(why);
      break;
    }
    state.counters["ports"] = kPorts;
    state.counters["rss_KiB_per_port"] = (rssLoaded - rssBefore) / 1024.0 / kPorts;
    state.counters["heap_bytes_per_port"] = static_cast<double>(heapLoaded - heapBefore) / kPorts;
    state.counters["record_bytes"] = sizeof(PortRecord);
    state.counters["idle_cpu_pct"] = 100.0 * idleCpu / idleSeconds;
    state.counters["idle_cpu_us_per_port_s"] = 1e6 * idleCpu / idleSeconds / kPorts;
  }
}
BENCHMARK(BM_ManyPorts)->Arg(256)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
