// The display program's status file lookup: the last record of a 2000-record file through
// LookupStatusEntry, against a plain read of the same file (open, read it all, close) in the
// same run, alternating. The ratio is how many plain reads one lookup costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "status_file.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kRecords = 2000;
const DWORD kFirstCode = 10001;

// A file like the installed ones: a comment header, then records with CR LF line ends, a
// continued recovery text, and the closing <CODE> 0.
std::string WriteStatusFile() {
  char path[] = "/tmp/qvl-statusfile-bench-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return "";
  std::string text = "# Status messages for the benchmark.\r\n#\r\n";
  char record[512];
  for (int i = 0; i < kRecords; ++i) {
    snprintf(record, sizeof record,
             "<CODE>\t%u\r\n<GROP>\t%d\r\n<ICON>\t%d\r\n<STAT>\tStatus message %d.\r\n"
             "<RCVR>\t1. Open the front cover and take out the paper.\r\n"
             "\t2. Close the cover; the printer goes on by itself.\r\n\r\n",
             static_cast<unsigned>(kFirstCode + i), 1 + i % 2, i % 12, i);
    text += record;
  }
  text += "<CODE>\t0\r\n";
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) path[0] = 0;
  close(fd);
  return path;
}

size_t PlainRead(const char* path) {
  static char buffer[1 << 16];
  int fd = open(path, O_RDONLY);
  if (fd < 0) return 0;
  size_t total = 0;
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) total += static_cast<size_t>(n);
  close(fd);
  return total;
}

void BM_StatusFileLookupLastRecord(benchmark::State& state) {
  const std::string path = WriteStatusFile();
  if (path.empty()) {
    state.SkipWithError("no temporary file");
    return;
  }
  const DWORD lastCode = kFirstCode + kRecords - 1;
  double lookupNs = 0, readNs = 0;
  for (auto _ : state) {
    auto began = Clock::now();
    benchmark::DoNotOptimize(PlainRead(path.c_str()));
    readNs += std::chrono::duration<double, std::nano>(Clock::now() - began).count();

    StatusEntry entry = {};
    began = Clock::now();
    BOOL found = LookupStatusEntry(path.c_str(), lastCode, &entry);
    lookupNs += std::chrono::duration<double, std::nano>(Clock::now() - began).count();
    if (!found || entry.code != lastCode) {
      state.SkipWithError("the last record was not found");
      break;
    }
  }
  unlink(path.c_str());
  state.counters["lookup_us"] = lookupNs / state.iterations() / 1e3;
  state.counters["plain_read_us"] = readNs / state.iterations() / 1e3;
  state.counters["lookup_per_plain_read"] = lookupNs / readNs;
}
BENCHMARK(BM_StatusFileLookupLastRecord)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
