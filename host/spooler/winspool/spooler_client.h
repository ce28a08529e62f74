// The bridge between our winspool.drv and the spooler stand-in: qvlspool hands the DLL a table
// of the printer functions it implements, and every call that a language monitor in the same
// process makes to winspool.drv is passed to it. Both sides are built by the same compiler, so
// the table's entries use the default calling convention.
#pragma once

#include <windows.h>

struct SpoolerClientOps {
  // OpenPrinterA: a handle for the printer named name, or FALSE with a last error.
  BOOL (*openPrinter)(const char* name, HANDLE* handle);
  // ClosePrinter.
  BOOL (*closePrinter)(HANDLE printer);
  // SetPrinterA, unchanged (level 0 with PRINTER_CONTROL_SET_STATUS passes the status in data).
  BOOL (*setPrinter)(HANDLE printer, DWORD level, BYTE* data, DWORD command);
  // GetPrinterA, unchanged.
  BOOL (*getPrinter)(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed);
  // SetPrinterDataA, unchanged.
  BOOL(*setPrinterData)
  (HANDLE printer, const char* valueName, DWORD type, const BYTE* data, DWORD size);
};

// Exported by our winspool.drv under this name; its presence tells qvlspool that the
// replacement, not Wine's own winspool, is loaded. NULL disconnects.
#define SPOOLER_CONNECT_EXPORT "QvlSpoolConnect"
typedef void(WINAPI* SpoolerConnectFn)(const SpoolerClientOps* ops);
