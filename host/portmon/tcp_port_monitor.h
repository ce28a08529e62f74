// A port monitor for network printers that offer a raw bidirectional TCP port (as on port
// 9100): port "tcp:HOST:PORT". Each job is one connection, opened by StartDocPort and shut by
// EndDocPort; bytes written outside a job (a drum counter reset) go over a connection of their
// own. The device ID is the one given in the options, or else one built from the printer's
// answer to "@PJL INFO ID"; a port of PORT_KIND_NETWORK, as the NT-family systems' standard
// TCP/IP ports, answers none (and never asks the printer). Windows only (Winsock).
#pragma once

#include <stdint.h>

#include "device_control.h"
#include "spooler_win95.h"

struct TcpPortOptions {
  const char* deviceId;       // NULL: ask the printer
  uint32_t connectTimeoutMs;  // connect and INFO ID answer
  uint32_t writeWaitMs;       // how long WritePort waits for the connection to take bytes
  uint32_t lingerMs;          // after EndDocPort: how long the printer may finish talking
  PortKind kind;              // how GetPrinterDataFromPort answers for the device ID
};

// Options for the ports opened from now on; starts Winsock. False when Winsock cannot start.
bool TcpPortConfigure(const TcpPortOptions* options);

// The 13-entry table: OpenPort, StartDocPort, WritePort, ReadPort, EndDocPort, ClosePort and
// GetPrinterDataFromPort (the device ID, as the options' kind of port answers it) filled, the
// rest NULL. NtPortMonitorOver gives the NT form.
MONITOR* TcpPortMonitor();
