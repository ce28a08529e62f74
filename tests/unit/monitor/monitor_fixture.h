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
