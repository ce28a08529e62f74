// Helpers for the emulated printer tests: a hand-driven clock, a printer fed from strings, and
// byte comparison that shows where two byte strings part.
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "emulated_printer.h"

struct FakeClock {
  uint64_t ms = 1000000;  // any origin: the printer counts from power-on
};

inline uint64_t ReadFakeClock(void* context) {
  return static_cast<FakeClock*>(context)->ms;
}

// A printer of the given model on a fake clock. It reports jobs unasked (lenient), as the
// Windows 95 prefix below needs, unless adjust says otherwise.
class TestPrinter {
 public:
  explicit TestPrinter(const char* model = "generic", const Scenario* scenario = nullptr,
                       void (*adjust)(PrinterConfig*) = nullptr) {
    PrinterConfig config;
    PrinterConfigDefaults(&config, FindPrinterModel(model));
    config.clock = ReadFakeClock;
    config.clockContext = &clock;
    config.scenario = scenario;
    config.lenientJobReports = true;
    if (adjust != nullptr) adjust(&config);
    printer = EmulatedPrinterCreate(&config);
  }
  ~TestPrinter() { EmulatedPrinterDestroy(printer); }
  TestPrinter(const TestPrinter&) = delete;
  TestPrinter& operator=(const TestPrinter&) = delete;

  size_t Send(const std::string& bytes) {
    return EmulatedPrinterWrite(printer, bytes.data(), bytes.size());
  }
  // Everything that waits to be read, read in pieces of chunk bytes.
  std::string Drain(size_t chunk = 4096) {
    std::string all;
    char buffer[4096];
    size_t got;
    while ((got = EmulatedPrinterRead(printer, buffer, chunk)) != 0) all.append(buffer, got);
    return all;
  }
  void Advance(uint64_t ms) {
    clock.ms += ms;
    EmulatedPrinterPoll(printer);
  }
  PrinterCounters Counters() const {
    PrinterCounters c;
    EmulatedPrinterCounters(printer, &c);
    return c;
  }
  // Number of logged events of a kind.
  int CountEvents(PrinterEventKind kind) const {
    int n = 0;
    for (uint32_t i = 0; i < EmulatedPrinterEventCount(printer); i++) {
      if (EmulatedPrinterEventAt(printer, i)->kind == kind) n++;
    }
    return n;
  }

  FakeClock clock;
  EmulatedPrinter* printer;
};

// Bytes as C escapes, for messages.
inline std::string Escaped(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\f') {
      out += "\\f";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      snprintf(hex, sizeof(hex), "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

inline std::string HexByte(char c) {
  char hex[8];
  snprintf(hex, sizeof(hex), "0x%02x", static_cast<unsigned char>(c));
  return hex;
}

// Equal bytes, or a failure naming the first differing offset with both bytes in hex.
inline ::testing::AssertionResult SameBytes(const std::string& expected, const std::string& got) {
  if (expected == got) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < expected.size() && i < got.size() && expected[i] == got[i]) i++;
  char where[96];
  snprintf(where, sizeof(where), "first difference at offset %zu: expected %s, got %s", i,
           i < expected.size() ? HexByte(expected[i]).c_str() : "end",
           i < got.size() ? HexByte(got[i]).c_str() : "end");
  return ::testing::AssertionFailure() << where << "\n  expected \"" << Escaped(expected)
                                       << "\"\n  got      \"" << Escaped(got) << "\"";
}

// What the language monitor writes ahead of every job.
inline const std::string kMonitorPrefix = "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n";
// A job as a driver makes it: JOB, page data with one form feed per page, EOJ.
inline std::string DriverJob(uint32_t jobId, int pages) {
  std::string name = "MSJOB " + std::to_string(jobId);
  std::string job = "\x1b%-12345X@PJL JOB NAME=\"" + name + "\"\r\n@PJL ENTER LANGUAGE=PCL\r\n";
  for (int i = 0; i < pages; i++)
    job +=
        "\x1b"
        "E page text\f";
  job += "\x1b%-12345X@PJL EOJ NAME=\"" + name + "\"\r\n\x1b%-12345X";
  return job;
}
