// The monitor's side of one IPP status poll of a network printer: writing the
// Get-Printer-Attributes request, reading the printer's answer into its record and drawing the
// status from it. The answer is a simulated printer's, with a tray emptied and low toner
// (tests/fuzz/corpus/fuzz_ipp_reply/trays-emptied). The baseline is a copy of the same bytes,
// the least any reader must do. Counters: the bytes each way per poll.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "ipp_message.h"
#include "ipp_status.h"

namespace {

std::vector<uint8_t> Answer() {
  std::vector<uint8_t> bytes(64 * 1024);
  FILE* f = fopen(QVL_IPP_ANSWER, "rb");
  const size_t n = f ? fread(bytes.data(), 1, bytes.size(), f) : 0;
  if (f) fclose(f);
  bytes.resize(n);
  return bytes;
}

void BM_CopyAnswer(benchmark::State& state) {
  const std::vector<uint8_t> answer = Answer();
  std::vector<uint8_t> copy(answer.size());
  for (auto _ : state) {
    memcpy(copy.data(), answer.data(), answer.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

void BM_IppPoll(benchmark::State& state) {
  const std::vector<uint8_t> answer = Answer();
  if (answer.empty()) {
    state.SkipWithError("no answer file");
    return;
  }
  uint8_t request[IPP_REQUEST_MAX];
  size_t requestBytes = 0;
  IppPrinterAttributes attributes;
  IppStatus status;
  uint32_t id = 0;
  for (auto _ : state) {
    requestBytes = IppBuildGetPrinterAttributes(request, sizeof request,
                                                "ipp://192.168.10.20:631/ipp/print", ++id);
    IppReadPrinterAttributes(answer.data(), answer.size(), &attributes);
    IppStatusOf(&attributes, &status);
    benchmark::DoNotOptimize(status.codeCount);
  }
  if (status.codeCount != 2) state.SkipWithError("unexpected status");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
  state.counters["request_bytes"] = static_cast<double>(requestBytes);
  state.counters["answer_bytes"] = static_cast<double>(answer.size());
}

}  // namespace

BENCHMARK(BM_CopyAnswer);
BENCHMARK(BM_IppPoll);

BENCHMARK_MAIN();
