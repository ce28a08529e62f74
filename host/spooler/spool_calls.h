// The calls a run makes into the language monitor (or, with --direct, straight into the port
// monitor), the same for both spooler generations. Names (port, printer, document, value) are
// the run's text: ANSI in Windows 95 mode, UTF-8 in NT mode; each form passes them as its table
// wants them. Windows only.
#pragma once

#include <string>

#include "spooler_nt.h"

class SpoolCalls {
 public:
  virtual ~SpoolCalls() {}
  // OpenPortEx (OpenPort when direct).
  virtual BOOL OpenPort(const std::string& port, const std::string& printer, HANDLE* handle) = 0;
  // StartDocPort with a DOC_INFO_1 (level 1) or DOC_INFO_2 with dwMode mode (level 2).
  virtual BOOL StartDoc(HANDLE port, const std::string& printer, DWORD jobId, DWORD level,
                        const std::string& document, DWORD mode) = 0;
  virtual BOOL Write(HANDLE port, const BYTE* data, DWORD count, DWORD* written) = 0;
  virtual BOOL EndDoc(HANDLE port) = 0;
  virtual BOOL Close(HANDLE port) = 0;
  // GetPrinterDataFromPort; valueName NULL for a device control.
  virtual BOOL GetData(HANDLE port, DWORD control, const char* valueName, void* out, DWORD outSize,
                       DWORD* returned) = 0;
  // The monitor's Shutdown; false when there is none to call (Windows 95, direct).
  virtual bool Shutdown() { return false; }
  // The NT family's calls (wide names), not those of Windows 95.
  virtual bool Nt() const = 0;
  bool direct = false;
};

// Over the Windows 95 table the monitor filled (ops), with the port monitor's below it (lower);
// direct: ops is the port monitor's.
SpoolCalls* Win95SpoolCalls(MONITOR* ops, MONITOR* lower, bool direct);
// Over the MONITOR2 InitializePrintMonitor2 returned with its monitor handle, the port monitor's
// MONITOR2 with its own; direct: ops and monitor are NULL, the calls go to the port monitor.
SpoolCalls* NtSpoolCalls(MONITOR2* ops, HANDLE monitor, MONITOR2* lower, HANDLE lowerMonitor,
                         bool direct);
