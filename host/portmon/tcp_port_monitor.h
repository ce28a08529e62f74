// A port monitor for network printers that offer a raw bidirectional TCP port (as on port
// 9100): port "tcp:HOST:PORT". Each job is one connection, opened by StartDocPort and shut by
// EndDocPort; bytes written outside a job (a drum counter reset) go over a connection of their
// own. Control id 17 answers the device ID given in the options, or else one built from the
// printer's answer to "@PJL INFO ID". Windows only (Winsock).
#pragma once

#include <stdint.h>

#include "spooler_win95.h"

struct TcpPortOptions {
  const char* deviceId;       // NULL: ask the printer
  uint32_t connectTimeoutMs;  // connect and INFO ID answer
  uint32_t writeWaitMs;       // how long WritePort waits for the connection to take bytes
  uint32_t lingerMs;          // after EndDocPort: how long the printer may finish talking
};

// Options for the ports opened from now on; starts Winsock. False when Winsock cannot start.
bool TcpPortConfigure(const TcpPortOptions* options);

// The 13-entry table: OpenPort, StartDocPort, WritePort, ReadPort, EndDocPort, ClosePort and
// GetPrinterDataFromPort filled, the rest NULL.
MONITOR* TcpPortMonitor();
