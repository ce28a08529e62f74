// winspool.drv for runs under qvlspool. A language monitor in qvlspool's process calls the
// printer functions (the five ANSI ones of the Windows 95 generation, the wide ones of the NT
// family) on handles it opened through qvlspool: those go to the spooler stand-in that
// connected. A user's program in any process (the display program) opens, lists and reads the
// stand-in's printers through the printer store (printer_reader.h); its handles are told from
// the monitor's by their values. Without a stand-in connected the ANSI functions find no
// printer (ERROR_INVALID_PRINTER_NAME, ERROR_INVALID_HANDLE). Lean: the Windows headers would
// declare these functions as imports from winspool.drv.
#define WIN32_LEAN_AND_MEAN
#include "printer_reader.h"
#include "spooler_client.h"

namespace {

const SpoolerClientOps* volatile Client = NULL;

BOOL NoPrinter(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" {

void WINAPI QvlSpoolConnect(const SpoolerClientOps* ops) {
  Client = ops;
}

BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE handle, void* /*defaults*/) {
  const SpoolerClientOps* c = Client;
  if (handle) *handle = NULL;
  if (!c || !handle) return NoPrinter(ERROR_INVALID_PRINTER_NAME);
  return c->openPrinter(name, handle);
}

BOOL WINAPI ClosePrinter(HANDLE printer) {
  if (ReaderHandle(printer)) return ReaderClosePrinter(printer);
  const SpoolerClientOps* c = Client;
  return c ? c->closePrinter(printer) : NoPrinter(ERROR_INVALID_HANDLE);
}

BOOL WINAPI SetPrinterA(HANDLE printer, DWORD level, LPBYTE data, DWORD command) {
  const SpoolerClientOps* c = Client;
  return c ? c->setPrinter(printer, level, data, command) : NoPrinter(ERROR_INVALID_HANDLE);
}

BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  const SpoolerClientOps* c = Client;
  return c ? c->getPrinter(printer, level, buffer, size, needed) : NoPrinter(ERROR_INVALID_HANDLE);
}

BOOL WINAPI SetPrinterDataA(HANDLE printer, LPSTR valueName, DWORD type, LPBYTE data, DWORD size) {
  const SpoolerClientOps* c = Client;
  return c ? c->setPrinterData(printer, valueName, type, data, size)
           : NoPrinter(ERROR_INVALID_HANDLE);
}

// In qvlspool's process the monitor's, as the stand-in opens them; elsewhere a reader's.
BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE handle, void* defaults) {
  const SpoolerClientOps* c = Client;
  if (!c) return ReaderOpenPrinter(name, handle, defaults);
  if (handle) *handle = NULL;
  if (!handle) return NoPrinter(ERROR_INVALID_PRINTER_NAME);
  return c->openPrinterW(name, handle);
}

BOOL WINAPI SetPrinterW(HANDLE printer, DWORD level, LPBYTE data, DWORD command) {
  const SpoolerClientOps* c = Client;
  return c ? c->setPrinterW(printer, level, data, command) : NoPrinter(ERROR_INVALID_HANDLE);
}

DWORD WINAPI SetPrinterDataW(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data,
                             DWORD size) {
  const SpoolerClientOps* c = Client;
  return c ? c->setPrinterDataW(printer, valueName, type, data, size) : ERROR_INVALID_HANDLE;
}

BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) {
  const SpoolerClientOps* c = Client;
  return c ? c->setJobW(printer, jobId, level, job, command) : NoPrinter(ERROR_INVALID_HANDLE);
}

BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size,
                          LPDWORD needed, LPDWORD returned) {
  // In qvlspool's process: the spooler's own printers, which its monitor can open.
  return ReaderEnumPrinters(flags, name, level, buffer, size, needed, returned, Client != NULL);
}

DWORD WINAPI GetPrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR value, LPDWORD type,
                               LPBYTE data, DWORD size, LPDWORD needed) {
  const SpoolerClientOps* c = Client;
  if (ReaderHandle(printer) || !c)
    return ReaderGetPrinterDataEx(printer, key, value, type, data, size, needed);
  return c->getPrinterDataExW(printer, key, value, type, data, size, needed);
}

DWORD WINAPI SetPrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR value, DWORD type, LPBYTE data,
                               DWORD size) {
  const SpoolerClientOps* c = Client;
  if (ReaderHandle(printer) || !c)
    return ReaderSetPrinterDataEx(printer, key, value, type, data, size);
  return c->setPrinterDataExW(printer, key, value, type, data, size);
}

DWORD WINAPI DeletePrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR value) {
  const SpoolerClientOps* c = Client;
  if (ReaderHandle(printer) || !c) return ReaderDeletePrinterDataEx(printer, key, value);
  return c->deletePrinterDataExW(printer, key, value);
}

BOOL WINAPI EnumJobsW(HANDLE printer, DWORD first, DWORD count, DWORD level, LPBYTE buffer,
                      DWORD size, LPDWORD needed, LPDWORD returned) {
  return ReaderEnumJobs(printer, first, count, level, buffer, size, needed, returned);
}

HANDLE WINAPI FindFirstPrinterChangeNotification(HANDLE printer, DWORD filter, DWORD options,
                                                 LPVOID notifyOptions) {
  return ReaderFindFirstChange(printer, filter, options, notifyOptions);
}

BOOL WINAPI FindNextPrinterChangeNotification(HANDLE change, PDWORD changes, LPVOID notifyOptions,
                                              LPVOID* notifyInfo) {
  return ReaderFindNextChange(change, changes, notifyOptions, notifyInfo);
}

BOOL WINAPI FindClosePrinterChangeNotification(HANDLE change) {
  return ReaderFindCloseChange(change);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

}  // extern "C"
