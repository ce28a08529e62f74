// The spooler's operations table of the Windows 95 generation: 13 entries, in this order.
// The language monitor fills one in InitializeMonitorEx and receives the port monitor's in
// OpenPortEx. (Later Windows headers define a different, 14-entry table; this is not it.)
#pragma once

#include "win32.h"

struct MONITOR {
  BOOL(WINAPI* pfnEnumPorts)
  (LPSTR name, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned);
  BOOL(WINAPI* pfnOpenPort)(LPSTR portName, PHANDLE handle);
  BOOL(WINAPI* pfnOpenPortEx)
  (LPSTR portName, LPSTR printerName, PHANDLE handle, MONITOR* lowerMonitor);
  BOOL(WINAPI* pfnStartDocPort)
  (HANDLE port, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
  BOOL(WINAPI* pfnWritePort)(HANDLE port, LPBYTE buffer, DWORD count, LPDWORD written);
  BOOL(WINAPI* pfnReadPort)(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
  BOOL(WINAPI* pfnEndDocPort)(HANDLE port);
  BOOL(WINAPI* pfnClosePort)(HANDLE port);
  BOOL(WINAPI* pfnAddPort)(LPSTR name, HWND window, LPSTR monitorName);
  BOOL(WINAPI* pfnConfigurePort)(LPSTR name, HWND window, LPSTR portName);
  BOOL(WINAPI* pfnDeletePort)(LPSTR name, HWND window, LPSTR portName);
  BOOL(WINAPI* pfnGetPrinterDataFromPort)
  (HANDLE port, DWORD controlId, LPSTR valueName, LPSTR inBuffer, DWORD inSize, LPSTR outBuffer,
   DWORD outSize, LPDWORD returned);
  BOOL(WINAPI* pfnSetPortTimeOuts)(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved);
};
typedef MONITOR* LPMONITOR;

enum { MONITOR_TABLE_ENTRIES = 13 };
static_assert(sizeof(MONITOR) == MONITOR_TABLE_ENTRIES * sizeof(void*),
              "the monitor table has 13 pointer-sized entries");

// Control id of GetPrinterDataFromPort that asks the port monitor for the IEEE 1284 device ID.
enum { CONTROL_ID_DEVICE_ID = 17 };
