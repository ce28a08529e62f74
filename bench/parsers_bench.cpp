// Throughput of the two reply parsers on what a status thread reads: a mixed stream of replies
// (device and job status, INFO CONFIG with continuation lines, memory, noise, plain items) cut
// into reads of 1000 bytes, so replies arrive split and the unfinished rest of a read is carried
// into the next, as the status thread carries it. The baseline is the least any reader must do:
// memchr for each reply's form feed over the same reads.
#include <benchmark/benchmark.h>
#include <string.h>

#include <string>
#include <vector>

#include "reply_parsers.h"

namespace {

const size_t kReadSize = 1000;  // below the status thread's 1023-byte reply buffer

const char* const kReplies[] = {
    "@PJL USTATUS DEVICE\r\nCODE=10001\r\nDISPLAY=\"00 READY\"\r\nONLINE=TRUE\r\n\f",
    "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 17\"\r\n\f",
    "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 17\"\r\nPAGES=3\r\n\f",
    "@PJL INFO CONFIG\r\nIN TRAYS [1 ENUMERATED]\r\n\tINTRAY1 PC\r\n\tINTRAY2 LC\r\n"
    "OUT TRAYS [2 ENUMERATED]\r\n\tNORMAL FACEDOWN\r\nMEMORY=2097152\r\nDISPLAY LINES=1\r\n"
    "DISPLAY CHARACTER SIZE=16\r\n\f",
    "@PJL INFO MEMORY\r\nTOTAL=1494416\r\nLARGEST=1494176\r\n\f",
    "\r\n\x1B%-12345X garbage before a reply @@PJL\r\n\f",
    "@PJL USTATUS DEVICE\r\nCODE=10006\r\nDISPLAY=\"16 TONER LOW\"\r\nONLINE=TRUE\r\n\f",
    "@PJL USTATUS PAGE\r\nPAGE=2\r\n\f",
    "@PJL ECHO MSSYNC 42\r\n\f",
    "CODE=41003\f",
    "STATUS READY TOTAL = 4194304\f",
    "@PJL INFO STATUS\r\nCODE=40021\r\nDISPLAY=\"DOOR OPEN\"\r\nONLINE=FALSE\r\n\f",
};

// About 64 KiB of replies, cut into reads.
std::vector<std::string> MakeReads() {
  std::string stream;
  for (unsigned i = 0; stream.size() < 64 * 1024; ++i) {
    stream += kReplies[(i * 7) % (sizeof kReplies / sizeof kReplies[0])];
  }
  std::vector<std::string> reads;
  for (size_t at = 0; at < stream.size(); at += kReadSize)
    reads.push_back(stream.substr(at, kReadSize));
  return reads;
}

size_t TotalBytes(const std::vector<std::string>& reads) {
  size_t n = 0;
  for (const std::string& r : reads) n += r.size();
  return n;
}

// Each read appended behind what the last one left unfinished, then parsed as the status
// thread does it: again at stop while text remains, until PARSE_MORE keeps the rest.
template <typename Parse>
void DriveReads(benchmark::State& state, Parse parse) {
  const std::vector<std::string> reads = MakeReads();
  char buffer[2 * kReadSize + 1];
  StatusToken tokens[MAX_REPLY_TOKENS];
  uint64_t applied = 0;
  for (auto _ : state) {
    size_t kept = 0;
    for (const std::string& r : reads) {
      memcpy(buffer + kept, r.data(), r.size());
      buffer[kept + r.size()] = '\0';
      char* at = buffer;
      for (;;) {
        uint32_t count = 0;
        char* stop = at;
        uint32_t result = parse(at, tokens, &count, &stop);
        if (result == PARSE_MORE) break;
        if (result == PARSE_DONE) applied += count;
        at = stop;
        if (*at == '\0') break;
      }
      kept = strlen(at);
      if (kept > kReadSize) kept = 0;  // an over-long unfinished reply is dropped
      memmove(buffer, at, kept);
    }
    benchmark::DoNotOptimize(applied);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(reads)));
  state.counters["tokens/iter"] =
      benchmark::Counter(static_cast<double>(applied) / static_cast<double>(state.iterations()));
}

void BM_MemchrFormFeeds(benchmark::State& state) {
  const std::vector<std::string> reads = MakeReads();
  uint64_t replies = 0;
  for (auto _ : state) {
    for (const std::string& r : reads) {
      const char* p = r.data();
      const char* end = p + r.size();
      while (const void* ff = memchr(p, '\f', static_cast<size_t>(end - p))) {
        ++replies;
        p = static_cast<const char*>(ff) + 1;
      }
    }
    benchmark::DoNotOptimize(replies);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(reads)));
}

void BM_PjlReplies(benchmark::State& state) {
  DriveReads(state, [](char* at, StatusToken* tokens, uint32_t* count, char** stop) {
    const char* end = at;
    uint32_t result = ParsePjlReply(at, MAX_REPLY_TOKENS, tokens, count, &end);
    *stop = at + (end - at);
    return result;
  });
}

void BM_PlainReplies(benchmark::State& state) {
  DriveReads(state, [](char* at, StatusToken* tokens, uint32_t* count, char** stop) {
    return ParsePlainReply(at, MAX_REPLY_TOKENS, tokens, count, stop);
  });
}

}  // namespace

BENCHMARK(BM_MemchrFormFeeds);
BENCHMARK(BM_PjlReplies);
BENCHMARK(BM_PlainReplies);

BENCHMARK_MAIN();
