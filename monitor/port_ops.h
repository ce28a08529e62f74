// The port and job operations the spooler calls through the monitor table.
#pragma once

#include "port_record.h"

BOOL WINAPI OpenPortEx(LPSTR portName, LPSTR printerName, PHANDLE handle, MONITOR* lowerMonitor);
BOOL WINAPI StartDocPort(HANDLE port, LPSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePort(HANDLE port, LPBYTE data, DWORD count, LPDWORD written);
BOOL WINAPI ReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
BOOL WINAPI EndDocPort(HANDLE port);
BOOL WINAPI ClosePort(HANDLE port);

// Writes text to the printer: direct to the port monitor, or through our own WritePort (so a
// pending prefix goes first). TRUE when every byte was written.
BOOL SendString(PortRecord* record, LPCSTR text, BOOL direct);
