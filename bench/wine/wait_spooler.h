// The spooler's side of the waiting-time measurement: the real language monitor loaded and taken
// into service as qvlspool does it (host/spooler), one port over wait_port's printer, and one
// endless job written as a spooler writes: page after page, offered again after 100 ms when the
// port took nothing. Windows only.
#pragma once

#include <stdint.h>

#include <string>

struct SpoolerSetup {
  bool nt = false;      // the NT-family spooler (InitializePrintMonitor2), else Windows 95
  std::string dll;      // the monitor; "": qvllink.dll beside this program
  std::string printer;  // the spooler's printer name
  uint32_t pageMs = 50;
  // The printer a print server's: users reach it only through the connection
  // \\QVLBENCH\printer, which the display program reads at the print server's rate.
  bool remote = false;
};

// Loads and starts the monitor, opens the port, starts the job and its writer. false: reported.
bool StartSpooler(const SpoolerSetup& setup);
// Ends the job, closes the port and (NT) shuts the monitor down.
void StopSpooler();

// NowMs() of the monitor's last GetPrinterA: on the Windows 95 path the monitor reads the
// printer's name for the display program right before it posts the code (0: none yet).
double LastNameRead();
// The printer's spooler status as the monitor last set it.
uint32_t SpoolerStatus();
