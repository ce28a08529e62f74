// The NT-family spooler's monitor interface (Windows 2000 and later), from the Windows headers:
// InitializePrintMonitor2, MONITORINIT, MONITORREG, MONITOR2, the bidi containers, and the
// device I/O control codes with which a language monitor asks a USB or parallel port for the
// printer's IEEE 1284 device ID. Windows builds only.
//
// winsplp.h also defines the older wide 14-entry MONITOR table and a wide InitializeMonitorEx,
// whose names the Windows 95 generation's own 13-entry table and ANSI entry (spooler_win95.h,
// monitor_entry.h) already hold, and declares WritePort, ReadPort and ClosePort as C functions
// of the spooler's, whose names the monitor's own operations hold: here they are renamed, so
// both generations can be used in one program.
#pragma once

#include "spooler_win95.h"

#ifdef _WIN32
#include <winioctl.h>

#define _MONITOR _MONITOR_NT_WIDE
#define MONITOR MONITOR_NT_WIDE
#define LPMONITOR LPMONITOR_NT_WIDE
#define InitializeMonitorEx InitializeMonitorEx_NT_WIDE
#define WritePort WritePort_SPOOLER
#define ReadPort ReadPort_SPOOLER
#define ClosePort ClosePort_SPOOLER
#include <winsplp.h>
#undef WritePort
#undef ReadPort
#undef ClosePort
#undef _MONITOR
#undef MONITOR
#undef LPMONITOR
#undef InitializeMonitorEx

#include <ntddpar.h>
#include <usbprint.h>
// MONITOR2_SIZE_WIN2K (winsplp.h) is the cbSize Windows 2000 expects: the table up to and
// including Shutdown. Later systems take the whole table.

// A network (standard TCP/IP) port's configuration, as its port monitor's XcvDataPort answers
// "GetConfigInfo" given a CONFIG_INFO_DATA_1 (dwVersion 1). The Windows headers have neither;
// the layout is the published one (natural alignment: 964 bytes).
struct ConfigInfoData1 {
  BYTE Reserved[128];
  DWORD dwVersion;
};

struct PortData1 {
  WCHAR sztPortName[64];
  DWORD dwVersion;
  DWORD dwProtocol;  // 1 raw TCP, 2 LPR
  DWORD cbSize;
  DWORD dwReserved;
  WCHAR sztHostAddress[49];
  WCHAR sztSNMPCommunity[33];
  DWORD dwDoubleSpool;
  WCHAR sztQueue[33];
  WCHAR sztIPAddress[16];
  BYTE Reserved[540];
  DWORD dwPortNumber;
  DWORD dwSNMPEnabled;
  DWORD dwSNMPDevIndex;
};
static_assert(sizeof(ConfigInfoData1) == 132, "CONFIG_INFO_DATA_1");
static_assert(sizeof(PortData1) == 964, "PORT_DATA_1");
#endif
