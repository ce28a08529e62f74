// The NT-family spooler's entry into the monitor and the operations of the table it receives.
// Windows builds only.
#pragma once

#include "nt_monitor.h"

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor);

// The instance behind a monitor handle the spooler passes back, or NULL for one that is not ours.
MonitorInstance* InstanceOfHandle(HANDLE monitor);

BOOL WINAPI NtOpenPortEx(HANDLE monitor, HANDLE monitorPort, LPWSTR portName, LPWSTR printerName,
                         PHANDLE handle, MONITOR2* lower);
BOOL WINAPI NtStartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level,
                           LPBYTE docInfo);
BOOL WINAPI NtGetPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName,
                                     LPWSTR inBuffer, DWORD inSize, LPWSTR outBuffer, DWORD outSize,
                                     LPDWORD returned);
DWORD WINAPI NtSendRecvBidiDataFromPort(HANDLE port, DWORD access, LPCWSTR action,
                                        PBIDI_REQUEST_CONTAINER request,
                                        PBIDI_RESPONSE_CONTAINER* response);
VOID WINAPI NtShutdown(HANDLE monitor);
