#include "status_support.h"

#include <string.h>

PortRecord* NewTestPort(const char* printerName, DWORD flags) {
  static const char portName[] = "TEST1:";
  PortRecord* port = static_cast<PortRecord*>(LocalAlloc(LPTR, sizeof(PortRecord) + 32));
  port->signature = PORT_RECORD_SIGNATURE;
  port->size = sizeof(PortRecord) + 32;
  memcpy(port->portNameText, portName, sizeof portName);
  port->portName = port->portNameText;
  InitializeCriticalSection(&port->prefixLock);
  if (printerName) OpenPrinterA(const_cast<LPSTR>(printerName), &port->hPrinter, NULL);
  SetPortFlags(port, flags);
  return port;
}

void FreeTestPort(PortRecord* port) {
  if (port->hPrinter) ClosePrinter(port->hPrinter);
  DeleteCriticalSection(&port->prefixLock);
  LocalFree(port);
}

void StatusTest::ResetDisplay() {
  // The library lets go of its mapping handle first: the fake's reset makes it stale.
  ReleaseSharedPrinterName();
  FakeDisplayLinkReset(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, SHARED_PRINTER_NAME_MAPPING);
  LastRepeatCode = 0;
}

void StatusTest::SetUp() {
  FakeSpoolerReset(true);
  ResetDisplay();
  FakeSetSystemDirectory("C:\\windows\\system32");
  IdentifiedModelNumber = 0;
}

void StatusTest::TearDown() {
  for (PortRecord* port : ports_) FreeTestPort(port);
  ports_.clear();
  ReleaseSharedPrinterName();
}

PortRecord* StatusTest::Port(const char* printerName, DWORD flags) {
  ports_.push_back(NewTestPort(printerName, flags));
  return ports_.back();
}

std::vector<DWORD> PostedCodes() {
  std::vector<DWORD> codes;
  for (int i = 0; i < FakeDisplayPostCount(); ++i) {
    FakePostedMessage post = FakeDisplayPostAt(i);
    if (post.message == DLM_STATUS_CODE) codes.push_back(static_cast<DWORD>(post.wParam));
  }
  return codes;
}

int SetPrinterCalls() {
  return FakeSpoolerCount(SPOOL_SET_PRINTER);
}
