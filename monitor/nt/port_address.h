// Where a network printer is: its port monitor's own answer to "GetConfigInfo" through the Xcv
// functions of the MONITOR2 that OpenPortEx hands the monitor (the standard TCP/IP port monitor
// has it; USB and parallel port monitors do not). Windows builds only.
#pragma once

#include <stdint.h>

#include "spooler_nt.h"

struct PortAddress {
  char host[64];      // the host address as the port holds it (at most 48 characters)
  uint32_t port;      // the raw or LPR port number
  uint32_t protocol;  // 1 raw TCP, 2 LPR
};

// False when the port monitor has no Xcv functions, does not know the port, answers something
// else or a host that is not plain text.
bool AskPortAddress(const MONITOR2* portMonitor, HANDLE portMonitorHandle, const WCHAR* portName,
                    PortAddress* out);
