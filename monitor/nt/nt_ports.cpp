// The NT face's port operations that differ from the core's: opening a port over the port
// monitor's MONITOR2, the job start with the spooler's wide names, printer data with wide value
// names, and bidi requests handed down. WritePort, ReadPort, EndDocPort and ClosePort are the
// core's own (their arguments are the same on both faces).
#include <stddef.h>

#include "nt_entry.h"
#include "nt_monitor.h"
#include "nt_network.h"
#include "port_ops.h"
#include "printer_data.h"

// The job start reads dwMode through the ANSI layout; the wide one must match it.
static_assert(offsetof(DOC_INFO_2W, dwMode) == offsetof(DOC_INFO_2A, dwMode),
              "DOC_INFO_2 has one layout for both character sets");

namespace {

// The port monitor's table is as long as its cbSize says; members past it are not there.
template <typename F>
F Member(const MONITOR2* table, F MONITOR2::*member, size_t offset) {
  return table->cbSize >= offset + sizeof(F) ? table->*member : NULL;
}
#define LOWER(table, name) Member(table, &MONITOR2::name, offsetof(MONITOR2, name))

// A record of this face for portName, with the port monitor's functions; not yet in the list.
PortRecord* NewNtPortRecord(LPCWSTR portName, LPCWSTR printerName, const MONITOR2* lower) {
  const DWORD length = WideLength(portName);
  char* ascii = static_cast<char*>(LocalAlloc(LMEM_FIXED, length + 1));
  NtPort* nt = static_cast<NtPort*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(NtPort)));
  PortRecord* record = NULL;
  if (ascii != NULL && nt != NULL) {
    WideToAsciiName(portName, ascii, length + 1);
    record = AllocatePortRecord(ascii);
  }
  if (ascii != NULL) LocalFree(ascii);
  if (record == NULL) {
    if (nt != NULL) LocalFree(nt);
    return NULL;
  }
  nt->startDocPort = LOWER(lower, pfnStartDocPort);
  nt->writePort = LOWER(lower, pfnWritePort);
  nt->readPort = LOWER(lower, pfnReadPort);
  nt->endDocPort = LOWER(lower, pfnEndDocPort);
  nt->closePort = LOWER(lower, pfnClosePort);
  nt->getPrinterDataFromPort = LOWER(lower, pfnGetPrinterDataFromPort);
  nt->sendRecvBidiDataFromPort = LOWER(lower, pfnSendRecvBidiDataFromPort);
  nt->portName = CopyWide(portName);
  nt->printerName = CopyWide(printerName);
  record->face = &NtFace;
  record->faceData = nt;
  return record;
}

// A port monitor that cannot run a job is not one to put a language monitor over.
bool LowerCanRunJobs(const MONITOR2* lower) {
  return LOWER(lower, pfnOpenPort) && LOWER(lower, pfnStartDocPort) && LOWER(lower, pfnWritePort) &&
         LOWER(lower, pfnReadPort) && LOWER(lower, pfnEndDocPort) && LOWER(lower, pfnClosePort);
}

// The instance's record for portName (letters A to Z in either case), or NULL. Monitor lock.
PortRecord* FindNtPort(const MonitorInstance* instance, LPCWSTR portName) {
  for (PortRecord* r = PortListHead(); r != NULL; r = r->next) {
    if (r->face == &NtFace && r->instance == instance &&
        SameWideIgnoringCase(NtPortOf(r)->portName, portName)) {
      return r;
    }
  }
  return NULL;
}

inline PortRecord* Record(HANDLE port) {
  return static_cast<PortRecord*>(port);
}

// A write to a stopped printer gives up after this long, where the port monitor lets the
// language monitor say so (its SetPortTimeOuts): the status thread learns of a stop when a
// write takes nothing, and the printer's status reaches the spooler within 2 s of its stop
// instead of after the port's own time-out (a local port's transmission retry is commonly
// 90 s). The spooler offers the bytes of a write that took nothing again.
const DWORD kPortWriteTimeoutMs = 1000;

// Sets the port's write time-out; reads return at once with what the printer has sent. Ports
// whose monitor has no SetPortTimeOuts are left as they are.
void SetShortWriteTimeOut(const MONITOR2* lower, HANDLE port) {
  BOOL(WINAPI * setTimeOuts)(HANDLE, LPCOMMTIMEOUTS, DWORD) = LOWER(lower, pfnSetPortTimeOuts);
  if (setTimeOuts == NULL) return;
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // with both read totals 0: return at once
  timeouts.WriteTotalTimeoutConstant = kPortWriteTimeoutMs;
  setTimeOuts(port, &timeouts, 0);
}

}  // namespace

BOOL WINAPI NtOpenPortEx(HANDLE monitor, HANDLE monitorPort, LPWSTR portName, LPWSTR printerName,
                         PHANDLE handle, MONITOR2* lower) {
  MonitorInstance* instance = InstanceOfHandle(monitor);
  if (instance == NULL || portName == NULL || handle == NULL || lower == NULL ||
      !LowerCanRunJobs(lower)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  EnterMonitorLock();
  if (FindNtPort(instance, portName)) {
    LeaveMonitorLock();
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  PortRecord* record = NewNtPortRecord(portName, printerName, lower);
  if (record == NULL) {
    LeaveMonitorLock();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  record->instance = instance;
  // In the list at once, so a second open of the name is refused while this one runs; the
  // port monitor's OpenPort and OpenPrinterW are called without the lock (a port slow to open
  // holds up no other port), on a reference of this call's own.
  AppendPortRecord(record);
  HoldPortRecord(record);
  // The NT face names each job it asks a PJL printer about (port_ops.cpp, ChoosePrefix).
  SetPortFlags(record, PF_PJL_PRINTER | PF_NAMED_JOBS);
  LeaveMonitorLock();
  HANDLE lowerPort = NULL;
  const BOOL opened = lower->pfnOpenPort(monitorPort, portName, &lowerPort);
  const DWORD error = opened ? ERROR_SUCCESS : GetLastError();
  if (opened) SetShortWriteTimeOut(lower, lowerPort);
  HANDLE printer = opened ? NtFace.openPrinter(record, printerName) : NULL;
  // Where a network port's printer is: asked of the port monitor (and the monitor's settings)
  // now, once, so that no later spooler call waits for it.
  NtNetwork* network = opened ? NtNetworkOpen(instance, lower, monitorPort, portName) : NULL;
  EnterMonitorLock();
  NtPortOf(record)->network = network;
  record->hPort = lowerPort;
  record->lowerOpen = opened;
  StoreShared(&record->hPrinter, printer);
  // A Shutdown in the meantime took the record out of the list: the port is not handed out.
  bool listed = false;
  for (PortRecord* r = PortListHead(); r != NULL; r = r->next) listed = listed || r == record;
  const bool handOut = opened && listed;
  // As on the other face: no handle reaches the spooler, so the record goes now (the last
  // reference closes the port below if it was opened).
  const BOOL unlinked = !handOut && UnlinkPortRecord(record);
  LeaveMonitorLock();
  if (unlinked) ReleasePortRecord(record);  // the list's
  // The printer carries the display link's key from now on, so the users' programs find it
  // before its first condition.
  if (handOut) AnnounceNtPrinter(record);
  ReleasePortRecord(record);  // this call's
  if (!handOut) {
    SetLastError(opened ? ERROR_INVALID_HANDLE : error);
    return FALSE;
  }
  *handle = record;
  return TRUE;
}

BOOL WINAPI NtStartDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level,
                           LPBYTE docInfo) {
  return StartPortJob(Record(port), printerName, jobId, level, docInfo);
}

BOOL WINAPI NtGetPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName,
                                     LPWSTR inBuffer, DWORD inSize, LPWSTR outBuffer, DWORD outSize,
                                     LPDWORD returned) {
  PortRecord* record = Record(port);
  if (record == NULL || !HasPortFlags(record, PF_JOB_OPEN)) return FALSE;
  if (controlId != 0) {
    // A device I/O control code, for the port's driver.
    NtPort* nt = NtPortOf(record);
    if (nt->getPrinterDataFromPort == NULL) return FALSE;
    return nt->getPrinterDataFromPort(record->hPort, controlId, valueName, inBuffer, inSize,
                                      outBuffer, outSize, returned);
  }
  DWORD* field = NULL;
  if (valueName != NULL && SameWideIgnoringCase(valueName, L"" INSTALLED_MEMORY_TEXT)) {
    field = &record->installedMemory;
  } else if (valueName != NULL && SameWideIgnoringCase(valueName, L"" AVAILABLE_MEMORY_TEXT)) {
    field = &record->availableMemory;
  }
  return QueryPrinterMemory(record, field, outBuffer, outSize, returned);
}

DWORD WINAPI NtSendRecvBidiDataFromPort(HANDLE port, DWORD access, LPCWSTR action,
                                        PBIDI_REQUEST_CONTAINER request,
                                        PBIDI_RESPONSE_CONTAINER* response) {
  PortRecord* record = Record(port);
  if (record == NULL) return ERROR_INVALID_PARAMETER;
  NtPort* nt = NtPortOf(record);
  if (nt->sendRecvBidiDataFromPort == NULL) return ERROR_NOT_SUPPORTED;
  return nt->sendRecvBidiDataFromPort(record->hPort, access, action, request, response);
}
