// Shared pieces of the status tests: hand-made port records and a clean slate of fakes.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "display_link.h"
#include "fake_display_link.h"
#include "fake_kernel.h"
#include "fake_spooler.h"
#include "identify.h"
#include "notify_display.h"
#include "port_record.h"
#include "status_token.h"

// A zero-filled record as OpenPortEx would leave it, with the named printer opened in the
// fake spooler (hPrinter 0 when printerName is NULL) and the given flags.
PortRecord* NewTestPort(const char* printerName, DWORD flags);
void FreeTestPort(PortRecord* port);

// Resets the spooler and display link fakes and the library's shared display state: no
// window, no mapping, LastRepeatCode and IdentifiedModelNumber 0.
class StatusTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Ports made with Port() are freed after the test.
  PortRecord* Port(const char* printerName, DWORD flags);
  // The display program is running.
  void ShowWindow() { FakeDisplaySetWindow(true); }
  // A fresh display link between cases of one test: no window, no mapping, no repeat.
  void ResetDisplay();

 private:
  std::vector<PortRecord*> ports_;
};

// wParam of every DLM_STATUS_CODE posted so far, in order.
std::vector<DWORD> PostedCodes();
int SetPrinterCalls();

inline StatusToken Code(DWORD code) {
  return StatusToken{TOK_DEVICE_CODE, code};
}
