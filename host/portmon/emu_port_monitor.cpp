#include "emu_port_monitor.h"

#include <string.h>

namespace {

enum { MAX_PORTS = 4, POLL_MS = 20, NAME_ROOM = 64 };

struct EmuPort {
  bool used;
  char name[NAME_ROOM];
  CRITICAL_SECTION lock;  // every call into the printer
  EmulatedPrinter* printer;
  HANDLE pollThread;
  HANDLE stopEvent;
  bool jobOpen;
  EmuJobCheck job;
  uint32_t endDocMs;     // EndDocPort takes this long
  uint32_t writeWaitMs;  // the options' until SetPortTimeOuts gives another
};

EmuPort Ports[MAX_PORTS];
CRITICAL_SECTION TableLock;  // the Ports table itself
EmuPortOptions Options = {NULL, NULL, 0, false, 250, NULL, NULL, PORT_KIND_WIN95, 0, false, false};
uint32_t CrcTable[256];

// Set up before main runs, so no caller can come first.
struct ModuleInit {
  ModuleInit() {
    InitializeCriticalSection(&TableLock);
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = i;
      for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      CrcTable[i] = c;
    }
  }
} Init;

DWORD WINAPI PollThread(LPVOID param) {
  EmuPort* p = static_cast<EmuPort*>(param);
  while (WaitForSingleObject(p->stopEvent, POLL_MS) == WAIT_TIMEOUT) {
    EnterCriticalSection(&p->lock);
    EmulatedPrinterPoll(p->printer);
    LeaveCriticalSection(&p->lock);
  }
  return 0;
}

EmuPort* FindOpen(const char* name) {
  EmuPort* found = NULL;
  EnterCriticalSection(&TableLock);
  for (EmuPort& p : Ports) {
    if (p.used && lstrcmpiA(p.name, name) == 0) found = &p;
  }
  LeaveCriticalSection(&TableLock);
  return found;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL WINAPI EmuOpenPort(LPSTR name, PHANDLE handle) {
  if (!name || !handle || _strnicmp(name, "emu:", 4) != 0) return Fail(ERROR_UNKNOWN_PORT);
  const PrinterModel* model = FindPrinterModel(name + 4);
  if (!model || strlen(name) >= NAME_ROOM) return Fail(ERROR_UNKNOWN_PORT);
  if (FindOpen(name)) return Fail(ERROR_BUSY);
  EnterCriticalSection(&TableLock);
  EmuPort* p = NULL;
  for (EmuPort& slot : Ports) {
    if (!slot.used && !p) p = &slot;
  }
  if (!p) {
    LeaveCriticalSection(&TableLock);
    return Fail(ERROR_TOO_MANY_OPEN_FILES);
  }
  memset(p, 0, sizeof *p);
  PrinterConfig config;
  PrinterConfigDefaults(&config, model);
  config.deviceId = Options.deviceId;
  config.scenario = Options.scenario;
  config.pageMs = Options.pageMs;
  config.lenientJobReports = Options.lenientJobReports;
  config.reportNestedJobs = Options.nestedJobReports;
  config.onEvent = Options.onEvent;
  config.eventContext = Options.eventContext;
  p->printer = EmulatedPrinterCreate(&config);
  if (!p->printer) {
    LeaveCriticalSection(&TableLock);
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  EmulatedPrinterSetDiscard(p->printer, Options.discard);
  EmulatedPrinterConnect(p->printer);
  InitializeCriticalSection(&p->lock);
  p->endDocMs = Options.endDocMs;
  p->writeWaitMs = Options.writeWaitMs;
  strcpy(p->name, name);
  p->stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
  p->pollThread = CreateThread(NULL, 0, PollThread, p, 0, NULL);
  p->used = true;
  LeaveCriticalSection(&TableLock);
  *handle = p;
  return TRUE;
}

BOOL WINAPI EmuStartDocPort(HANDLE handle, LPSTR, DWORD jobId, DWORD, LPBYTE) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  EnterCriticalSection(&p->lock);
  EmulatedPrinterJobStart(p->printer, jobId);
  p->jobOpen = true;
  p->job.bytes = 0;
  p->job.crc = 0;
  LeaveCriticalSection(&p->lock);
  return TRUE;
}

uint32_t LoadWriteWait(const EmuPort* p) {
  return __atomic_load_n(&p->writeWaitMs, __ATOMIC_SEQ_CST);
}

// As a port monitor of the system does: a write gives up after the total write time-out.
BOOL WINAPI EmuSetPortTimeOuts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  if (!p || !timeouts) return Fail(ERROR_INVALID_PARAMETER);
  __atomic_store_n(&p->writeWaitMs, timeouts->WriteTotalTimeoutConstant, __ATOMIC_SEQ_CST);
  return TRUE;
}

BOOL WINAPI EmuWritePort(HANDLE handle, LPBYTE data, DWORD count, LPDWORD written) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  // A printer that has stopped takes nothing: wait a little for room, as a port's write
  // time-out would, then report what was taken.
  size_t taken = 0;
  for (DWORD waited = 0;; waited += 10) {
    EnterCriticalSection(&p->lock);
    taken = EmulatedPrinterWrite(p->printer, data, count);
    if (p->jobOpen && taken) {
      p->job.bytes += taken;
      p->job.crc = Crc32(p->job.crc, data, taken);
    }
    LeaveCriticalSection(&p->lock);
    if (taken || count == 0 || waited >= LoadWriteWait(p)) break;
    Sleep(10);
  }
  *written = static_cast<DWORD>(taken);
  return TRUE;
}

BOOL WINAPI EmuReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  EnterCriticalSection(&p->lock);
  *read = static_cast<DWORD>(EmulatedPrinterRead(p->printer, buffer, size));
  LeaveCriticalSection(&p->lock);
  return TRUE;
}

BOOL WINAPI EmuEndDocPort(HANDLE handle) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  if (p->endDocMs) Sleep(p->endDocMs);
  EnterCriticalSection(&p->lock);
  if (p->jobOpen) EmulatedPrinterJobEnd(p->printer);
  p->jobOpen = false;
  LeaveCriticalSection(&p->lock);
  return TRUE;
}

BOOL WINAPI EmuClosePort(HANDLE handle) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  SetEvent(p->stopEvent);
  WaitForSingleObject(p->pollThread, INFINITE);
  CloseHandle(p->pollThread);
  CloseHandle(p->stopEvent);
  EnterCriticalSection(&TableLock);
  EnterCriticalSection(&p->lock);
  EmulatedPrinterDestroy(p->printer);
  p->printer = NULL;
  p->used = false;
  LeaveCriticalSection(&p->lock);
  DeleteCriticalSection(&p->lock);
  LeaveCriticalSection(&TableLock);
  return TRUE;
}

BOOL WINAPI EmuGetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPSTR, LPSTR, DWORD,
                                      LPSTR out, DWORD outSize, LPDWORD returned) {
  EmuPort* p = static_cast<EmuPort*>(handle);
  EnterCriticalSection(&p->lock);
  BOOL ok = AnswerDeviceControl(Options.kind, controlId, EmulatedPrinterDeviceId(p->printer), out,
                                outSize, returned);
  DWORD error = GetLastError();
  LeaveCriticalSection(&p->lock);
  SetLastError(error);
  return ok;
}

MONITOR Table = {
    NULL,                       // EnumPorts
    EmuOpenPort,                // OpenPort
    NULL,                       // OpenPortEx: a port monitor has none
    EmuStartDocPort,            // StartDocPort
    EmuWritePort,               // WritePort
    EmuReadPort,                // ReadPort
    EmuEndDocPort,              // EndDocPort
    EmuClosePort,               // ClosePort
    NULL,                       // AddPort
    NULL,                       // ConfigurePort
    NULL,                       // DeletePort
    EmuGetPrinterDataFromPort,  // GetPrinterDataFromPort
    EmuSetPortTimeOuts,         // SetPortTimeOuts
};

}  // namespace

void EmuPortConfigure(const EmuPortOptions* options) {
  Options = *options;
}

EmuPortOptions EmuPortConfiguration() {
  return Options;
}

MONITOR* EmuPortMonitor() {
  return &Table;
}

bool EmuPortJobCheck(const char* port, EmuJobCheck* out) {
  EmuPort* p = FindOpen(port);
  if (!p) return false;
  EnterCriticalSection(&p->lock);
  *out = p->job;
  LeaveCriticalSection(&p->lock);
  return true;
}

uint32_t EmuPortRemedy(const char* port) {
  EmuPort* p = FindOpen(port);
  if (!p) return 0;
  EnterCriticalSection(&p->lock);
  uint32_t n = EmulatedPrinterRemedy(p->printer, COND_COUNT);
  LeaveCriticalSection(&p->lock);
  return n;
}

bool EmuPortCounters(const char* port, PrinterCounters* out) {
  EmuPort* p = FindOpen(port);
  if (!p) return false;
  EnterCriticalSection(&p->lock);
  EmulatedPrinterCounters(p->printer, out);
  LeaveCriticalSection(&p->lock);
  return true;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t count) {
  const uint8_t* b = static_cast<const uint8_t*>(data);
  crc = ~crc;
  for (size_t i = 0; i < count; i++) crc = CrcTable[(crc ^ b[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}
