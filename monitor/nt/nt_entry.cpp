// The NT-family spooler's entry: InitializePrintMonitor2 makes a monitor instance (a spooler may
// make several, one per cluster node) and hands out the MONITOR2 table; Shutdown ends the
// instance's work quickly and stops its use of the spooler's handle and callbacks.
#include "nt_entry.h"

#include <string.h>

#include "port_ops.h"

namespace {

// Marks a monitor handle as one of ours.
const DWORD kInstanceSignature = 0x324D4E54;  // "TNM2"

// A monitor instance and what this face keeps of it, in one block.
struct NtInstanceBlock {
  DWORD signature;
  MonitorInstance monitor;
  NtInstance nt;
};

// How long Shutdown gives the status threads to finish their clean-up, and how often it looks.
const DWORD kShutdownWaitMs = 700;
const DWORD kShutdownPollMs = 10;
// How long it then gives a spooler call under way to return.
const DWORD kPrinterCallWaitMs = 200;

// The language monitor's operations; the port monitor's own are NULL. cbSize is set for the
// system at each initialisation.
MONITOR2 NtMonitorTable = {
    sizeof(MONITOR2),            // cbSize
    NULL,                        // pfnEnumPorts: the port monitor lists the ports
    NULL,                        // pfnOpenPort: the spooler opens ports through OpenPortEx
    NtOpenPortEx,                // pfnOpenPortEx
    NtStartDocPort,              // pfnStartDocPort
    WritePort,                   // pfnWritePort: the core's, as on the other face
    ReadPort,                    // pfnReadPort
    EndDocPort,                  // pfnEndDocPort
    ClosePort,                   // pfnClosePort
    NULL,                        // pfnAddPort
    NULL,                        // pfnAddPortEx
    NULL,                        // pfnConfigurePort
    NULL,                        // pfnDeletePort
    NtGetPrinterDataFromPort,    // pfnGetPrinterDataFromPort
    NULL,                        // pfnSetPortTimeOuts
    NULL,                        // pfnXcvOpenPort
    NULL,                        // pfnXcvDataPort
    NULL,                        // pfnXcvClosePort
    NtShutdown,                  // pfnShutdown
    NtSendRecvBidiDataFromPort,  // pfnSendRecvBidiDataFromPort
    NULL,                        // pfnNotifyUsedPorts
    NULL,                        // pfnNotifyUnusedPorts
};

// Windows 2000 takes only the table up to Shutdown; later systems the whole of it.
DWORD TableSizeForThisSystem() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwMajorVersion == 5 && version.dwMinorVersion == 0) {
    return MONITOR2_SIZE_WIN2K;
  }
  return sizeof(MONITOR2);
}

// One port of the instance as Shutdown sees it: the record while Shutdown closes it, or the
// printer handle taken from a record left to its status thread.
struct ShutdownPort {
  PortRecord* record;
  HANDLE printer;
};

NtInstanceBlock* BlockOf(HANDLE monitor) {
  NtInstanceBlock* block = static_cast<NtInstanceBlock*>(monitor);
  return block != NULL && block->signature == kInstanceSignature ? block : NULL;
}

}  // namespace

MonitorInstance* InstanceOfHandle(HANDLE monitor) {
  NtInstanceBlock* block = BlockOf(monitor);
  return block != NULL ? &block->monitor : NULL;
}

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  const DWORD needed = offsetof(MONITORINIT, pMonitorReg) + sizeof(PMONITORREG);
  if (init == NULL || monitor == NULL || init->cbSize < needed) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return NULL;
  }
  InitializeMonitorLock();
  FindNtSpoolerFunctions();
  NtInstanceBlock* block =
      static_cast<NtInstanceBlock*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof *block));
  if (block == NULL) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
  }
  block->signature = kInstanceSignature;
  block->monitor.settings = DEFAULT_SETTINGS;
  block->monitor.faceData = &block->nt;
  NtInstance* nt = &block->nt;
  nt->monitor = &block->monitor;
  nt->spooler = init->hSpooler;
  nt->registryRoot = init->hckRegistryRoot;
  // The callbacks the spooler's table holds; a shorter table leaves the rest NULL.
  if (init->pMonitorReg != NULL) {
    DWORD size = init->pMonitorReg->cbSize;
    if (size > sizeof(MONITORREG)) size = sizeof(MONITORREG);
    memcpy(&nt->registry, init->pMonitorReg, size);
  }
  // A clustered spooler names the server whose printers this instance serves (with or without
  // its leading backslashes); an instance of the local spooler opens printers by name alone.
  if (init->cbSize >= offsetof(MONITORINIT, pszServerName) + sizeof(LPWSTR) && !init->bLocal &&
      init->pszServerName != NULL && init->pszServerName[0] != 0) {
    nt->serverName = CopyWide(init->pszServerName);
  }
  InitializeCriticalSection(&nt->calls);
  StartNtPublishing(&block->monitor);
  // The settings are read now (and their defaults written back where missing), so they are in
  // the monitor's key as soon as it is installed; each status thread reads them again.
  ReadNtSettings(&block->monitor);

  NtMonitorTable.cbSize = TableSizeForThisSystem();
  *monitor = block;
  return &NtMonitorTable;
}

VOID WINAPI NtShutdown(HANDLE monitor) {
  NtInstanceBlock* block = BlockOf(monitor);
  if (block == NULL) return;
  // From here on the spooler's handle and callbacks are not used: a settings read under way
  // ends before this returns, and none starts.
  EnterCriticalSection(&block->nt.calls);
  block->nt.shutDown = TRUE;
  LeaveCriticalSection(&block->nt.calls);

  // The instance's ports: a job in progress ends (the spooler hears that its last page is
  // out), and each status thread is asked to leave.
  EnterMonitorLock();
  DWORD count = 0;
  for (PortRecord* r = PortListHead(); r != NULL; r = r->next)
    count += r->instance == &block->monitor;
  ShutdownPort* ports = static_cast<ShutdownPort*>(
      LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, (count + 1) * sizeof *ports));
  DWORD n = 0;
  for (PortRecord* r = PortListHead(); r != NULL && ports != NULL; r = r->next) {
    if (r->instance == &block->monitor) ports[n++].record = r;
  }
  LeaveMonitorLock();
  if (ports == NULL) return;
  for (DWORD i = 0; i < n; ++i) AskPortToStop(ports[i].record);

  // A thread finishing a slow read of the port may take longer than the spooler waits: the
  // port is left to it (it closes the port below and frees the record when the read returns).
  // Idle and draining threads pause in waits that the stop request wakes, so they are gone
  // within milliseconds.
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD running = 0;
    for (DWORD i = 0; i < n; ++i) running += LoadShared(&ports[i].record->hWakeEvent) != NULL;
    if (running == 0 || GetTickCount() - start >= kShutdownWaitMs) break;
    Sleep(kShutdownPollMs);
  }
  // From here on no printer function of the spooler is called for this instance. The printer
  // handles of ports left to their threads are taken and closed here; a record left to its
  // thread is not touched again once the lock is released (the thread may free it).
  EndNtPublishing(&block->monitor);
  EndPrinterCalls(&block->nt, kPrinterCallWaitMs);
  DWORD left = 0;
  EnterMonitorLock();
  for (DWORD i = 0; i < n; ++i) {
    PortRecord* r = ports[i].record;
    if (LoadShared(&r->hWakeEvent) == NULL) continue;  // ended: closed below by this call
    SetPortFlags(r, PF_ORPHANED);
    ports[i].record = NULL;
    ports[i].printer = ExchangeShared(&r->hPrinter, NULL);
    ++left;
  }
  LeaveMonitorLock();
  for (DWORD i = 0; i < n; ++i) {
    if (ports[i].record != NULL) FinishClosePort(ports[i].record);
    if (ports[i].printer != NULL) ClosePrinter(ports[i].printer);
  }
  LocalFree(ports);
  if (left == 0) {
    FreeWide(block->nt.serverName);
    DeleteCriticalSection(&block->nt.calls);
    block->signature = 0;
    LocalFree(block);
  }
}
