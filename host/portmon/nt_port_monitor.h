// The NT form of a port monitor: a MONITOR2 over a port monitor's Windows 95 table, so the emu:
// and tcp: port monitors keep one set of port functions and are called through either table.
// Names arrive wide and go down as UTF-8 (port names are ASCII); the monitor handle picks the
// ports below; GetPrinterDataFromPort's buffers are passed down as the bytes they are, so the
// control codes reach the port monitor (device_control.h) unchanged. The document info of
// StartDocPort is not passed down: the ports below never read it. The Xcv functions answer
// "GetConfigInfo" for tcp: ports, as the standard TCP/IP port monitor does. No EnumPorts,
// SendRecvBidiDataFromPort or Shutdown: the spooler stand-in needs none of them. Windows only.
#pragma once

#include "spooler_nt.h"

// The table, the same for every port monitor (cbSize: the whole MONITOR2).
MONITOR2* NtPortMonitorTable();

// The monitor handle (OpenPort's hMonitor; OpenPortEx's hMonitorPort) whose ports are those of
// the Windows 95 table ports. Lives as long as the process.
HANDLE NtPortMonitorOver(MONITOR* ports);
