// A spooler's view of the monitor for tests: the monitor table filled by InitializeMonitorEx,
// ports opened over the scripted port monitor, and the fakes reset between tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fake_kernel.h"
#include "fake_registry.h"
#include "fake_spooler.h"
#include "monitor_entry.h"
#include "port_record.h"
#include "printer_texts.h"
#include "scripted_port_monitor.h"

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens a port over the scripted port monitor, answering with deviceId (NULL: none).
  HANDLE Open(const char* port, const char* deviceId, const char* printer = "Office Printer");
  BOOL StartJob(HANDLE port, DWORD jobId, DWORD level = 1, DWORD mode = 1,
                const char* printer = "Office Printer");
  // WritePort of a text; returns the written count.
  DWORD Write(HANDLE port, const std::string& data);
  // StartJob (level 1, mode 1), then a Write of data; fails, writing nothing, if the start fails.
  ::testing::AssertionResult StartJobWriting(HANDLE port, DWORD jobId, const std::string& data,
                                             const char* printer = "Office Printer");
  // Queues a reply at the port's printer and wakes the status thread: a write that writes
  // nothing wakes it.
  void Reply(HANDLE port, const std::string& reply);
  // Queues the printer's report of jobId's end, then waits until the port monitor below has
  // ended endDocs jobs.
  ::testing::AssertionResult EndJobAtPrinter(HANDLE port, DWORD jobId, int endDocs);
  // EndDocPort, then ClosePort; returns what ClosePort returned.
  BOOL EndJobAndClose(HANDLE port);
  PortRecord* Rec(HANDLE port) { return static_cast<PortRecord*>(port); }
  // Waits (real time) until cond holds or ms pass; returns cond's last value.
  template <typename F>
  bool WaitFor(F cond, int ms = 5000) {
    for (int i = 0; i < ms; i += 2) {
      if (cond()) return true;
      Sleep(2 * 1000);  // scaled: 2 ms real at the tests' time scale
    }
    return cond();
  }

  MONITOR table{};
};
