// The bridge between our winspool.drv and the spooler stand-in: qvlspool hands the DLL a table
// of the printer functions it implements, and every call that a language monitor in the same
// process makes to winspool.drv on the monitor's printer handles is passed to it (the readers'
// functions of any process are the printer store's, printer_reader.h). Both sides are built by the
// same compiler, so the table's entries use the default calling convention.
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
  // The wide functions of the NT-family systems' spooler, as their A twins with wide names.
  BOOL (*openPrinterW)(const WCHAR* name, HANDLE* handle);
  BOOL (*setPrinterW)(HANDLE printer, DWORD level, BYTE* data, DWORD command);
  // SetPrinterDataW: ERROR_SUCCESS or the error (as the real function returns it).
  DWORD(*setPrinterDataW)
  (HANDLE printer, const WCHAR* valueName, DWORD type, const BYTE* data, DWORD size);
  // SetJobW, unchanged (level 0 with a command such as JOB_CONTROL_LAST_PAGE_EJECTED).
  BOOL (*setJobW)(HANDLE printer, DWORD jobId, DWORD level, BYTE* job, DWORD command);
  // The printer data functions of the NT-family systems, on the monitor's handles: their
  // results as the real functions return them.
  DWORD(*getPrinterDataExW)
  (HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD* type, BYTE* data, DWORD size,
   DWORD* needed);
  DWORD(*setPrinterDataExW)
  (HANDLE printer, const WCHAR* key, const WCHAR* value, DWORD type, const BYTE* data, DWORD size);
  DWORD (*deletePrinterDataExW)(HANDLE printer, const WCHAR* key, const WCHAR* value);
};

// Exported by our winspool.drv under this name; its presence tells qvlspool that the
// replacement, not Wine's own winspool, is loaded. NULL disconnects.
#define SPOOLER_CONNECT_EXPORT "QvlSpoolConnect"
typedef void(WINAPI* SpoolerConnectFn)(const SpoolerClientOps* ops);
