// A port monitor whose ports lead to an emulated printer in the same process: port "emu:MODEL"
// (generic, QV-L3820, QV-L3470) powers on a printer of that model at OpenPort and off at
// ClosePort. A thread per port lets the printer's clock act every 20 ms (pages print, scenario
// steps fire); one lock per port serializes every call into the printer. Windows only.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "device_control.h"
#include "emulated_printer.h"
#include "spooler_win95.h"

struct EmuPortOptions {
  const char* deviceId;      // NULL: the model's own
  const Scenario* scenario;  // NULL: nothing goes wrong (copied by the printer)
  uint32_t pageMs;           // time to print one page
  bool discard;              // page data only scanned, not printed (throughput runs)
  uint32_t writeWaitMs;      // how long WritePort waits for a printer that takes nothing,
                             // until SetPortTimeOuts (WriteTotalTimeoutConstant) says otherwise
  // Each printer event as it is logged, called with the port's lock held. May be NULL.
  void (*onEvent)(void* context, const PrinterEvent* event);
  void* eventContext;
  PortKind kind;      // how GetPrinterDataFromPort answers for the device ID
  uint32_t endDocMs;  // EndDocPort takes this long (a port slow to end its job)
  // The printer's job reports: unasked too (lenient); nested jobs' ends too.
  bool lenientJobReports;
  bool nestedJobReports;
};

// Options for the ports opened from now on.
void EmuPortConfigure(const EmuPortOptions* options);
// The options now in force.
EmuPortOptions EmuPortConfiguration();

// The 13-entry table: OpenPort, StartDocPort, WritePort, ReadPort, EndDocPort, ClosePort and
// GetPrinterDataFromPort (the printer's device ID, as the options' kind of port answers it:
// control id 17 for PORT_KIND_WIN95) filled, the rest NULL. NtPortMonitorOver gives the NT form.
MONITOR* EmuPortMonitor();

// What the printer took during the port's current or last job: byte count and CRC-32.
struct EmuJobCheck {
  uint64_t bytes;
  uint32_t crc;
};

// By port name, while the port is open; false when no such port is open.
bool EmuPortJobCheck(const char* port, EmuJobCheck* out);
// The user puts right every condition that waits for the user; returns how many.
uint32_t EmuPortRemedy(const char* port);
bool EmuPortCounters(const char* port, PrinterCounters* out);

// CRC-32 (the zip polynomial) of data, continuing from crc (0 to start).
uint32_t Crc32(uint32_t crc, const void* data, size_t count);
