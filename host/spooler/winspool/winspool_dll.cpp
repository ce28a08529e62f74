// winspool.drv for runs under qvlspool: the printer functions a language monitor calls (the
// five ANSI ones of the Windows 95 generation, the four wide ones of the NT family), passed on to
// the spooler stand-in that connected. Nothing connected: no printers exist, as with a spooler that
// knows none (ERROR_INVALID_PRINTER_NAME, ERROR_INVALID_HANDLE). Lean: the Windows headers would
// declare these functions as imports from winspool.drv.
#define WIN32_LEAN_AND_MEAN
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

BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE handle, void* /*defaults*/) {
  const SpoolerClientOps* c = Client;
  if (handle) *handle = NULL;
  if (!c || !handle) return NoPrinter(ERROR_INVALID_PRINTER_NAME);
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

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

}  // extern "C"
